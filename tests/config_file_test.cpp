// Traffic records with long and short forms, the plain records, and the
// configuration file that chains nine settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "camera_fixture.h"
#include "settings/config_file.h"

namespace {

class Records : public vkttest::HandleTest {
 protected:
  std::string TempPath(const char* name) { return testing::TempDir() + name; }
};

TEST_F(Records, ShortFormsAreLearntAndGovernTheSets) {
  emulator.setShortRecords(id, true);
  ITSParam its;
  std::memset(&its, 0xEE, sizeof its);
  ASSERT_EQ(VKT_GetITSParam(camera, &its, 1000), 0);
  const auto current = emulator.currentRecord(id, 1008);
  EXPECT_EQ(std::memcmp(&its, current.data(), 32), 0);
  for (int w = 8; w < 13; ++w) EXPECT_EQ(its.word[w], 0) << "beyond the short form";
  // The flag serves both records: the night-control set now sends 44 bytes.
  NightControlParam night{};
  night.word[11] = 5;
  ASSERT_EQ(VKT_SetNightControlParam(camera, &night, 1000), 0);
  auto traffic = emulator.commandTraffic(id);
  EXPECT_EQ(traffic.back().command, 1013);
  EXPECT_EQ(traffic.back().length, 44u);
  // A default read copies by the flag, whatever the reply length.
  ITSParam factory;
  std::memset(&factory, 0xEE, sizeof factory);
  ASSERT_EQ(VKT_GetDefaultITSParam(camera, &factory, 1000), 0);
  EXPECT_EQ(factory.word[12], 0);
}

TEST_F(Records, LongFormIsTheDefault) {
  ITSParam its;
  ASSERT_EQ(VKT_GetITSParam(camera, &its, 1000), 0);
  its.word[12] = 4242;
  ASSERT_EQ(VKT_SetITSParam(camera, &its, 1000), 0);
  EXPECT_EQ(emulator.commandTraffic(id).back().length, 52u);
  EXPECT_EQ(emulator.currentRecord(id, 1008), std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&its),
                                                                   reinterpret_cast<uint8_t*>(&its) + 52));
}

template <typename T, int (*Get)(int, T*, unsigned), int (*GetDefault)(int, T*, unsigned),
          int (*Set)(int, const T*, unsigned)>
void RoundTrip(Records& test, int camera, int32_t getCommand) {
  T record, factory;
  ASSERT_EQ(GetDefault(camera, &factory, 1000), 0) << getCommand;
  ASSERT_EQ(Get(camera, &record, 1000), 0) << getCommand;
  reinterpret_cast<uint8_t*>(&record)[sizeof(T) - 1] ^= 0xA5;
  ASSERT_EQ(Set(camera, &record, 1000), 0) << getCommand;
  T again;
  ASSERT_EQ(Get(camera, &again, 1000), 0) << getCommand;
  EXPECT_EQ(std::memcmp(&again, &record, sizeof(T)), 0) << getCommand;
  (void)test;
}

TEST_F(Records, PlainRecordsRoundTrip) {
  RoundTrip<RS485Info, VKT_GetRS485Info, VKT_GetDefaultRS485Info, VKT_SetRS485Info>(*this, camera, 1251);
  RoundTrip<RS232Info, VKT_GetRS232Info, VKT_GetDefaultRS232Info, VKT_SetRS232Info>(*this, camera, 1254);
  RoundTrip<SpeedInfo, VKT_GetSpeedInfo, VKT_GetDefaultSpeedInfo, VKT_SetSpeedInfo>(*this, camera, 1257);
  RoundTrip<OSDInfo, VKT_GetOSDInfo, VKT_GetDefaultOSDInfo, VKT_SetOSDInfo>(*this, camera, 1032);
  RoundTrip<PicFileNameConfig, VKT_GetPicFileNameConfig, VKT_GetDefaultPicFileNameConfig,
            VKT_SetPicFileNameConfig>(*this, camera, 1036);
  RoundTrip<FTPParam, VKT_GetFTPParam, VKT_GetDefaultFTPParam, VKT_SetFTPParam>(*this, camera, 1020);
  RoundTrip<SNTPParam, VKT_GetSNTPParam, VKT_GetDefaultSNTPParam, VKT_SetSNTPParam>(*this, camera, 1024);
  RoundTrip<NightControlParam, VKT_GetNightControlParam, VKT_GetDefaultNightControlParam,
            VKT_SetNightControlParam>(*this, camera, 1012);
  // Each current read asked once: the set filled the slot the read answers from.
  for (int32_t get : {1251, 1254, 1257, 1032, 1036, 1020, 1024, 1012}) EXPECT_EQ(Sent(get), 1u) << get;
  EXPECT_EQ(emulator.currentRecord(id, 1257)[131], emulator.factoryRecord(id, 1257)[131] ^ 0xA5);
}

TEST_F(Records, ExportWritesTheNineRecordsInOrder) {
  const std::string path = TempPath("export.cfg");
  ASSERT_EQ(VKT_ExportConfigFile(camera, 0, path.c_str(), 1000), 0) << std::hex << VKT_GetLastError();
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 652u);
  const struct {
    int32_t get;
    size_t offset, size;
  } layout[] = {{1020, 0, 264}, {1000, 264, 100}, {1008, 364, 52}, {1012, 416, 48},
                {1024, 464, 72}, {1036, 536, 40}, {1032, 576, 60}, {1056, 640, 12}};
  for (const auto& row : layout) {
    auto record = emulator.currentRecord(id, row.get);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + static_cast<long>(row.offset),
                                   file.begin() + static_cast<long>(row.offset + row.size)),
              record)
        << row.get;
  }
  int32_t awb;
  std::memcpy(&awb, file.data() + 636, 4);
  EXPECT_EQ(awb, emulator.currentValue(id, 708));
  EXPECT_EQ(CommandsSent(), (std::vector<int32_t>{1020, 1000, 1008, 1012, 1024, 1036, 1032, 708, 1056}));
}

TEST_F(Records, FailedReadLeavesThePartialFile) {
  vktemu::CommandFaults busy;
  busy.status = -2;
  emulator.setCommandFaults(id, 1024, busy);
  const std::string path = TempPath("partial.cfg");
  EXPECT_EQ(VKT_ExportConfigFile(camera, 0, path.c_str(), 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_CAMERA_BUSY);
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  EXPECT_EQ(in.tellg(), 464);
}

TEST_F(Records, ImportAppliesEightRecordsWhenAutomaticWhiteBalanceIsOn) {
  const std::string path = TempPath("awb-on.cfg");
  ASSERT_EQ(VKT_ExportConfigFile(camera, 0, path.c_str(), 1000), 0);
  {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    const int32_t on = 1;
    f.seekp(636);
    f.write(reinterpret_cast<const char*>(&on), 4);
  }
  // Another connection: nothing is cached, every record is sent.
  camera = -1;
  ASSERT_EQ(VKT_Close(), 0);
  ASSERT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0);
  camera = AddCamera();
  emulator.clearCommandTraffic(id);
  ASSERT_EQ(VKT_ImportConfigFile(camera, path.c_str(), 1000), 0) << std::hex << VKT_GetLastError();
  EXPECT_EQ(CommandsSent(), (std::vector<int32_t>{1021, 1001, 1009, 1013, 1025, 1037, 1033, 709}));
}

TEST_F(Records, ExportThenImportOnOneConnectionSendsOnlyWhiteBalance) {
  emulator.setCurrentValue(id, 708, 0);
  const std::string path = TempPath("round-trip.cfg");
  ASSERT_EQ(VKT_ExportConfigFile(camera, 0, path.c_str(), 1000), 0);
  emulator.clearCommandTraffic(id);
  ASSERT_EQ(VKT_ImportConfigFile(camera, path.c_str(), 1000), 0);
  EXPECT_EQ(CommandsSent(), (std::vector<int32_t>{709, 1057})) << "everything else equals the cached copies";
}

TEST_F(Records, BadFilesAreRefusedBeforeAnythingIsSent) {
  const std::string path = TempPath("short.cfg");
  ASSERT_EQ(VKT_ExportConfigFile(camera, 0, path.c_str(), 1000), 0);
  std::vector<char> bytes(651, 0);
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), 651);
  emulator.clearCommandTraffic(id);
  VKT_GetWorkMode(camera, nullptr, 1000);  // leaves a known code behind
  EXPECT_EQ(VKT_ImportConfigFile(camera, path.c_str(), 1000), 1);
  EXPECT_EQ(VKT_ImportConfigFile(camera, TempPath("missing.cfg").c_str(), 1000), 1);
  EXPECT_EQ(VKT_ImportConfigFile(camera, nullptr, 1000), 1);
  EXPECT_EQ(VKT_ExportConfigFile(camera, 0, "/nonexistent-dir/x.cfg", 1000), 1);
  EXPECT_EQ(VKT_ExportConfigFile(camera, 0, nullptr, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM) << "file failures store no code";
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
}

// The file's bytes apart from any camera: the records in their order, and
// the white-balance parameters only with the automatic mode off.
TEST(ConfigFileSplit, RecordsFollowTheLayoutAndTheModeGovernsTheParameters) {
  std::vector<uint8_t> file(700);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7);
  const int32_t manual = 0;
  std::memcpy(file.data() + 636, &manual, 4);
  vkt::settings::ConfigFileRecords records;
  ASSERT_TRUE(vkt::settings::SplitConfigFile(file.data(), file.size(), records)) << "longer files are read";
  const size_t offsets[] = {0, 264, 364, 416, 464, 536, 576, 636, 640};
  const size_t sizes[] = {264, 100, 52, 48, 72, 40, 60, 4, 12};
  for (size_t row = 0; row < records.size(); ++row) {
    EXPECT_EQ(records[row].bytes, file.data() + offsets[row]) << row;
    EXPECT_EQ(records[row].size, sizes[row]) << row;
    EXPECT_TRUE(records[row].apply) << row;
  }

  const int32_t automatic = 2;
  std::memcpy(file.data() + 636, &automatic, 4);
  ASSERT_TRUE(vkt::settings::SplitConfigFile(file.data(), 652, records));
  EXPECT_FALSE(records[8].apply);
  for (size_t row = 0; row < 8; ++row) EXPECT_TRUE(records[row].apply) << row;
}

TEST(ConfigFileSplit, ShortFileIsRefusedAndTheRecordsStayUntouched) {
  std::vector<uint8_t> file(651, 1);
  vkt::settings::ConfigFileRecords records;
  records[0].size = 12345;
  EXPECT_FALSE(vkt::settings::SplitConfigFile(file.data(), file.size(), records));
  EXPECT_FALSE(vkt::settings::SplitConfigFile(nullptr, 652, records));
  EXPECT_EQ(records[0].size, 12345u);
  EXPECT_EQ(records[0].bytes, nullptr);
}

}  // namespace

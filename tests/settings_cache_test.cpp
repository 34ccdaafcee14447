// The settings cache: slots that hold exactly what was stored, whatever
// lengths came before; what the readers of the library get from slots
// stored short; and what an idle camera costs.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "camera/camera_context.h"
#include "camera_fixture.h"
#include "settings/trigger_flash.h"

namespace {

using vkt::RecordSlot;
using vkt::SettingsCache;
using vkt::ValueSlot;

constexpr int kRecordSlots = static_cast<int>(RecordSlot::kCount);
constexpr int kValueSlots = static_cast<int>(ValueSlot::kCount);

std::vector<uint8_t> Bytes(const SettingsCache& cache, RecordSlot slot) {
  auto r = cache.Record(slot);
  return {r.begin(), r.end()};
}

std::vector<uint8_t> Copied(const SettingsCache& cache, RecordSlot slot, size_t size) {
  std::vector<uint8_t> out(size, 0xEE);
  cache.CopyRecord(slot, out.data(), out.size());
  return out;
}

TEST(SettingsCacheSlots, FreshCacheHoldsNothingAndReadsNothing) {
  SettingsCache cache;
  EXPECT_EQ(cache.HeldBytes(), 0u);
  for (int i = 0; i < kValueSlots; ++i) EXPECT_EQ(cache.Value(static_cast<ValueSlot>(i)), -1);
  for (int i = 0; i < kRecordSlots; ++i) {
    EXPECT_FALSE(cache.Valid(static_cast<RecordSlot>(i)));
    EXPECT_TRUE(cache.Record(static_cast<RecordSlot>(i)).empty());
  }
  EXPECT_LE(sizeof(SettingsCache), 1024u) << "no record storage inside the cache itself";
}

TEST(SettingsCacheSlots, ShortThenLongStoreOfOneSlotHoldsTheLongWhole) {
  SettingsCache cache;
  const std::vector<uint8_t> shortForm(32, 0x11), longForm = [] {
    std::vector<uint8_t> v(52);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i + 1);
    return v;
  }();
  cache.SetRecord(RecordSlot::kITSParam, shortForm.data(), shortForm.size());
  EXPECT_EQ(Bytes(cache, RecordSlot::kITSParam), shortForm);
  cache.SetRecord(RecordSlot::kITSParam, longForm.data(), longForm.size());
  EXPECT_EQ(Bytes(cache, RecordSlot::kITSParam), longForm);
  EXPECT_EQ(Copied(cache, RecordSlot::kITSParam, longForm.size()), longForm);
  EXPECT_GE(cache.HeldBytes(), longForm.size());
}

TEST(SettingsCacheSlots, LongThenShortStoreLeavesNoTailOfTheLongOne) {
  SettingsCache cache;
  const std::vector<uint8_t> longForm(52, 0xAA), shortForm(32, 0x11);
  cache.SetRecord(RecordSlot::kITSParam, longForm.data(), longForm.size());
  cache.SetRecord(RecordSlot::kITSParam, shortForm.data(), shortForm.size());
  EXPECT_EQ(Bytes(cache, RecordSlot::kITSParam), shortForm);
  std::vector<uint8_t> expected(shortForm);
  expected.resize(longForm.size(), 0);
  EXPECT_EQ(Copied(cache, RecordSlot::kITSParam, longForm.size()), expected) << "zeros past the short store";
  EXPECT_EQ(Copied(cache, RecordSlot::kITSParam, 8), std::vector<uint8_t>(8, 0x11)) << "a shorter read takes its part";
}

TEST(SettingsCacheSlots, RecordLongerThanTheLargestIsCut) {
  SettingsCache cache;
  std::vector<uint8_t> huge(SettingsCache::kMaxRecord + 100, 0x5A);
  cache.SetRecord(RecordSlot::kTriggFlash, huge.data(), huge.size());
  huge.resize(SettingsCache::kMaxRecord);
  EXPECT_EQ(Bytes(cache, RecordSlot::kTriggFlash), huge);
}

TEST(SettingsCacheSlots, InvalidateEmptiesEverySlotThenAStoreReadsBackExactly) {
  SettingsCache cache;
  for (int i = 0; i < kValueSlots; ++i) cache.SetValue(static_cast<ValueSlot>(i), i);
  const std::vector<uint8_t> first(100, 0x33);
  for (int i = 0; i < kRecordSlots; ++i) cache.SetRecord(static_cast<RecordSlot>(i), first.data(), first.size());
  const size_t held = cache.HeldBytes();

  cache.Invalidate();
  for (int i = 0; i < kValueSlots; ++i) EXPECT_EQ(cache.Value(static_cast<ValueSlot>(i)), -1);
  for (int i = 0; i < kRecordSlots; ++i) {
    const auto slot = static_cast<RecordSlot>(i);
    EXPECT_FALSE(cache.Valid(slot));
    EXPECT_TRUE(cache.Record(slot).empty());
    EXPECT_EQ(Copied(cache, slot, 100), std::vector<uint8_t>(100, 0)) << "nothing of the old record";
  }

  const std::vector<uint8_t> second{1, 2, 3, 4, 5, 6, 7, 8};
  cache.SetRecord(RecordSlot::kDeviceInfo, second.data(), second.size());
  EXPECT_TRUE(cache.Valid(RecordSlot::kDeviceInfo));
  EXPECT_EQ(Bytes(cache, RecordSlot::kDeviceInfo), second);
  EXPECT_FALSE(cache.Valid(RecordSlot::kDefaultDeviceInfo)) << "the other slots stay empty";
  EXPECT_EQ(cache.HeldBytes(), held) << "storage is kept across a disconnect and reused";
}

// Slots stored shorter than their readers' records (a camera's short form,
// or a short reply) are read back completed with zeros, never past what the
// slot holds nor with an earlier record's bytes.
class ShortSlot : public vkttest::AddedCameraTest {
 protected:
  size_t Traffic() { return emulator.commandTraffic(id).size(); }
};

TEST_F(ShortSlot, DeviceInfoAnswersAndCompares) {
  const std::vector<uint8_t> full(sizeof(DeviceInfo), 0x77), part{9, 8, 7, 6, 5, 4, 3, 2};
  DeviceInfo info;
  // A connection first: the cache lasts as long as it does.
  ASSERT_EQ(VKT_GetDeviceInfo(handle, &info, 1000), 0);
  {
    std::lock_guard<std::recursive_mutex> lock(camera->CommandLock());
    camera->Cache().SetRecord(RecordSlot::kDeviceInfo, full.data(), full.size());
    camera->Cache().SetRecord(RecordSlot::kDeviceInfo, part.data(), part.size());
  }
  const size_t before = Traffic();
  std::memset(&info, 0xEE, sizeof info);
  ASSERT_EQ(VKT_GetDeviceInfo(handle, &info, 1000), 0);
  DeviceInfo expected{};
  std::memcpy(expected.bytes, part.data(), part.size());
  EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
  EXPECT_EQ(VKT_SetDeviceInfo(handle, &expected, 1000), 0);
  EXPECT_EQ(Traffic(), before) << "answered from the slot, and the same record is not sent";
  expected.bytes[99] = 1;
  EXPECT_EQ(VKT_SetDeviceInfo(handle, &expected, 1000), 0);
  EXPECT_EQ(Traffic(), before + 1) << "a record differing past the short store is sent";
}

TEST_F(ShortSlot, CombinedRecordViewsReadOnlyWhatWasStored) {
  FlashLampParam lamp;
  ASSERT_EQ(VKT_GetFlashLamp(handle, &lamp, 1000), 0);  // connected, slot filled
  const std::vector<uint8_t> full(vkt::settings::kCombinedSize, 0xFF);
  std::vector<uint8_t> head(28, 0);
  head[4] = 1;   // lamp word A
  head[8] = 2;   // B
  head[12] = 3;  // C
  {
    std::lock_guard<std::recursive_mutex> lock(camera->CommandLock());
    camera->Cache().SetRecord(RecordSlot::kTriggFlash, full.data(), full.size());
    camera->Cache().SetRecord(RecordSlot::kTriggFlash, head.data(), head.size());
  }
  const size_t before = Traffic();
  ASSERT_EQ(VKT_GetFlashLamp(handle, &lamp, 1000), 0);
  EXPECT_EQ(lamp.word[0], 1);
  EXPECT_EQ(lamp.word[1], 3);
  EXPECT_EQ(lamp.word[2], 2);
  EXPECT_EQ(lamp.word[3], 0) << "the entries were not stored: zeros, not the earlier record";
  EXPECT_EQ(lamp.word[4], 0);
  TriggInputSet set;
  ASSERT_EQ(VKT_GetTriggInputSet(handle, &set, 1000), 0);
  EXPECT_EQ(set.entry[15].value[7], 0);
  EXPECT_EQ(Traffic(), before);
}

long ResidentKiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status) != nullptr && std::sscanf(line, "VmRSS: %ld kB", &kib) != 1) {
  }
  std::fclose(status);
  return kib;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPlainBuild = false;  // shadow memory and redzones count as resident
#else
constexpr bool kPlainBuild = true;
#endif

class IdleCamera : public vkttest::EmulatedNetwork {};

// Cameras added and never read cost at most 8 KiB resident each, and hold
// no record storage.
TEST_F(IdleCamera, CostsAtMostEightKiBResident) {
  constexpr int kCameras = 500;
  auto add = [](int i) {
    DeviceRecord record{};
    record.ipAddress = htonl((127u << 24) | (1u << 16) | (static_cast<uint32_t>(i / 250) << 8) | (1u + i % 250));
    record.commandPort = 39999;  // nothing listens in the test's namespace
    record.macAddress[4] = static_cast<uint8_t>(i >> 8);
    record.macAddress[5] = static_cast<uint8_t>(i);
    std::strcpy(record.modelName, "VKT-N2F0Kq");
    return VKT_AddCamera(&record, nullptr, 1000);
  };
  std::vector<int> handles;
  handles.reserve(kCameras);
  for (int i = 0; i < 8; ++i) VKT_DelCamera(add(kCameras + i));  // first-use costs out of the way
  malloc_trim(0);
  const long before = ResidentKiB();
  for (int i = 0; i < kCameras; ++i) {
    handles.push_back(add(i));
    ASSERT_NE(handles.back(), -1) << std::hex << VKT_GetLastError();
  }
  const double perCamera = static_cast<double>(ResidentKiB() - before) / kCameras;
  for (int h : handles) {
    auto context = vkt::Library::Instance().Registry().Find(h);
    ASSERT_NE(context, nullptr);
    std::lock_guard<std::recursive_mutex> lock(context->CommandLock());
    EXPECT_EQ(context->Cache().HeldBytes(), 0u);
  }
  if (kPlainBuild) {
    EXPECT_LE(perCamera, 8.0) << "KiB resident per idle camera";
  }
  for (int h : handles) EXPECT_EQ(VKT_DelCamera(h), 0);
}

}  // namespace

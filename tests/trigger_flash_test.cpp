// The flash lamp and trigger input views of the camera's combined record:
// the conversions byte for byte, and the calls that share one cached copy.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "camera_fixture.h"
#include "settings/trigger_flash.h"

namespace {

using vkt::settings::CombinedFromTriggInput;
using vkt::settings::FlashLampFromCombined;
using vkt::settings::kCombinedSize;
using vkt::settings::TriggInputFromCombined;
using vkt::settings::WriteFlashLamp;

uint32_t WordAt(const std::vector<uint8_t>& r, size_t offset) {
  uint32_t w;
  std::memcpy(&w, r.data() + offset, 4);
  return w;
}
void PutAt(std::vector<uint8_t>& r, size_t offset, uint32_t w) { std::memcpy(r.data() + offset, &w, 4); }
size_t EntryAt(size_t i) { return 28 + 40 * i; }

TriggInputSet OneEnabledInput() {
  TriggInputSet set{};
  for (auto& e : set.entry) {
    e.value[2] = 1;  // trigger numbers are 1-based
    e.value[5] = 1;  // what a record with the switch off reads back
  }
  set.entry[0].value[0] = 1;
  return set;
}

TEST(TriggInputConversion, TriggerNumberIsStoredMinusOne) {
  TriggInputSet set = OneEnabledInput();
  set.entry[3].value[2] = 1;
  set.entry[5].value[2] = 7;
  std::vector<uint8_t> record(kCombinedSize);
  CombinedFromTriggInput(set, record.data());
  EXPECT_EQ(WordAt(record, EntryAt(3) + 4), 0u);
  EXPECT_EQ(WordAt(record, EntryAt(5) + 4), 6u);
  TriggInputSet back = TriggInputFromCombined(record.data(), false);
  EXPECT_EQ(back.entry[3].value[2], 1);
  EXPECT_EQ(back.entry[5].value[2], 7);
}

TEST(TriggInputConversion, SwitchAndItsNumber) {
  TriggInputSet set = OneEnabledInput();
  set.entry[1].value[4] = 2;  // not 1: the switch stays off
  set.entry[1].value[5] = 9;
  set.entry[2].value[4] = 1;
  set.entry[2].value[5] = 9;
  set.entry[2].value[6] = 5;  // any non-zero sets the flag
  set.entry[2].value[1] = 0x1F;
  std::vector<uint8_t> record(kCombinedSize);
  CombinedFromTriggInput(set, record.data());
  const uint32_t off = WordAt(record, EntryAt(1) + 32);
  EXPECT_EQ(off & (1u << 30), 0u);
  EXPECT_EQ(off & 15u, 0u) << "bits 0-3 are 0 while the switch is off";
  const uint32_t on = WordAt(record, EntryAt(2) + 32);
  EXPECT_EQ(on, (1u << 31) | (1u << 30) | (0xFu << 4) | 8u);
  TriggInputSet back = TriggInputFromCombined(record.data(), false);
  EXPECT_EQ(back.entry[2].value[4], 1);
  EXPECT_EQ(back.entry[2].value[5], 9);
  EXPECT_EQ(back.entry[2].value[6], 1);
  EXPECT_EQ(back.entry[2].value[1], 15);
}

TEST(TriggInputConversion, FlagsReadShiftedNowAndMaskedFromTheFactory) {
  std::vector<uint8_t> record(kCombinedSize);
  PutAt(record, EntryAt(0) + 36, 0x0000000E);
  TriggInputSet current = TriggInputFromCombined(record.data(), false);
  TriggInputSet factory = TriggInputFromCombined(record.data(), true);
  const int32_t* c = current.entry[0].value;
  const int32_t* f = factory.entry[0].value;
  EXPECT_EQ(std::vector<int32_t>(c + 10, c + 14), (std::vector<int32_t>{0, 1, 1, 1}));
  EXPECT_EQ(std::vector<int32_t>(f + 10, f + 14), (std::vector<int32_t>{0, 2, 4, 8}));
}

TEST(TriggInputConversion, FactoryReadHidesSwitchValuesWhileTheSwitchIsOff) {
  std::vector<uint8_t> record(kCombinedSize);
  PutAt(record, EntryAt(0) + 32, 0x80000004);  // switch off, flag on, number bits 4
  PutAt(record, EntryAt(1) + 32, 0xC0000004);  // switch on
  TriggInputSet current = TriggInputFromCombined(record.data(), false);
  TriggInputSet factory = TriggInputFromCombined(record.data(), true);
  EXPECT_EQ(current.entry[0].value[5], 5);
  EXPECT_EQ(current.entry[0].value[6], 1);
  EXPECT_EQ(factory.entry[0].value[4], 0);
  EXPECT_EQ(factory.entry[0].value[5], 0);
  EXPECT_EQ(factory.entry[0].value[6], 0);
  EXPECT_EQ(factory.entry[1].value[4], 1);
  EXPECT_EQ(factory.entry[1].value[5], 5);
  EXPECT_EQ(factory.entry[1].value[6], 1);
}

TEST(TriggInputConversion, CopiedWordsAndTheEmptyHead) {
  TriggInputSet set = OneEnabledInput();
  set.entry[15].value[3] = 0x12345678;  // written whole, read as bit 0
  set.entry[15].value[7] = -1;
  set.entry[15].value[8] = 22;
  set.entry[15].value[9] = 33;
  set.entry[15].value[14] = 1;
  std::vector<uint8_t> record(kCombinedSize, 0xFF);
  CombinedFromTriggInput(set, record.data());
  for (size_t i = 0; i < 28; ++i) EXPECT_EQ(record[i], 0) << "head byte " << i;
  EXPECT_EQ(WordAt(record, EntryAt(15) + 8), 0x12345678u);
  EXPECT_EQ(WordAt(record, EntryAt(15) + 12), 0xFFFFFFFFu);
  EXPECT_EQ(WordAt(record, EntryAt(15) + 16), 0u) << "lamp words stay 0";
  EXPECT_EQ(WordAt(record, EntryAt(15) + 20), 0u);
  EXPECT_EQ(WordAt(record, EntryAt(15) + 24), 22u);
  EXPECT_EQ(WordAt(record, EntryAt(15) + 28), 33u);
  EXPECT_EQ(WordAt(record, EntryAt(15) + 36), 0x80000000u);
  TriggInputSet back = TriggInputFromCombined(record.data(), false);
  EXPECT_EQ(back.entry[15].value[3], 0);
  EXPECT_EQ(back.entry[15].value[7], -1);
}

TEST(FlashLampConversion, FiveWordsAndWhereTheyLive) {
  std::vector<uint8_t> record(kCombinedSize, 0x11);
  FlashLampParam lamp{{101, 102, 103, 104, 105}};
  WriteFlashLamp(lamp, record.data());
  EXPECT_EQ(WordAt(record, 4), 101u);
  EXPECT_EQ(WordAt(record, 8), 103u);
  for (size_t o : {12, 16, 20, 24}) EXPECT_EQ(WordAt(record, o), 102u) << o;
  for (size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(WordAt(record, EntryAt(i) + 16), 104u);
    EXPECT_EQ(WordAt(record, EntryAt(i) + 20), 105u);
    EXPECT_EQ(WordAt(record, EntryAt(i) + 24), 0x11111111u) << "everything else kept";
  }
  EXPECT_EQ(WordAt(record, 0), 0x11111111u);
  FlashLampParam back = FlashLampFromCombined(record.data());
  EXPECT_EQ(std::memcmp(&back, &lamp, sizeof lamp), 0);
}

class CombinedRecord : public vkttest::HandleTest {};

TEST_F(CombinedRecord, OneReadServesBothViews) {
  FlashLampParam lamp;
  TriggInputSet inputs;
  ASSERT_EQ(VKT_GetFlashLamp(camera, &lamp, 1000), 0);
  ASSERT_EQ(VKT_GetTriggInputSet(camera, &inputs, 1000), 0);
  EXPECT_EQ(Sent(1028), 1u);
  const auto record = emulator.currentRecord(id, 1028);
  ASSERT_EQ(record.size(), kCombinedSize);
  EXPECT_EQ(lamp.word[0], static_cast<int32_t>(WordAt(record, 4)));
  const TriggInputSet expected = TriggInputFromCombined(record.data(), false);
  EXPECT_EQ(std::memcmp(&inputs, &expected, sizeof inputs), 0);
  // The factory record has its own read and slot.
  ASSERT_EQ(VKT_GetDefaultTriggInputSet(camera, &inputs, 1000), 0);
  ASSERT_EQ(VKT_GetDefaultFlashLamp(camera, &lamp, 1000), 0);
  EXPECT_EQ(Sent(1030), 1u);
  EXPECT_EQ(emulator.commandTraffic(id)[1].value, 0) << "the read carries value 0";
}

TEST_F(CombinedRecord, FlashLampSetOnAFreshConnectionReadsFirstAndKeepsTheRest) {
  FlashLampParam lamp{{7, 8, 9, 10, 11}};
  ASSERT_EQ(VKT_SetFlashLamp(camera, &lamp, 1000), 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 2u);
  EXPECT_EQ(traffic[0].command, 1028);
  EXPECT_EQ(traffic[1].command, 1029);
  ASSERT_EQ(traffic[1].length, kCombinedSize);
  std::vector<uint8_t> sent(traffic[1].bytes.begin() + 28, traffic[1].bytes.end());
  std::vector<uint8_t> expected = emulator.factoryRecord(id, 1028);
  WriteFlashLamp(lamp, expected.data());
  EXPECT_EQ(sent, expected) << "the camera's record except the lamp words";
  // Equal again: nothing sent.
  ASSERT_EQ(VKT_SetFlashLamp(camera, &lamp, 1000), 0);
  EXPECT_EQ(Sent(1029), 1u);
}

TEST_F(CombinedRecord, TriggerSetBuildsAFreshRecordWithZeroLamps) {
  TriggInputSet set = OneEnabledInput();
  set.entry[4].value[7] = 1234;
  ASSERT_EQ(VKT_SetTriggInputSet(camera, &set, 1000), 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 1u) << "no read first";
  std::vector<uint8_t> sent(traffic[0].bytes.begin() + 28, traffic[0].bytes.end());
  std::vector<uint8_t> expected(kCombinedSize);
  CombinedFromTriggInput(set, expected.data());
  EXPECT_EQ(sent, expected);
  FlashLampParam lamp;
  std::memset(&lamp, 0x77, sizeof lamp);
  ASSERT_EQ(VKT_GetFlashLamp(camera, &lamp, 1000), 0);
  for (int w : lamp.word) EXPECT_EQ(w, 0);
  EXPECT_EQ(emulator.commandTraffic(id).size(), 1u) << "answered from the slot the set filled";
  ASSERT_EQ(VKT_SetTriggInputSet(camera, &set, 1000), 0);
  EXPECT_EQ(Sent(1029), 1u) << "unchanged";
}

TEST_F(CombinedRecord, NullViewsAreRefused) {
  EXPECT_EQ(VKT_GetFlashLamp(camera, nullptr, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
  EXPECT_EQ(VKT_SetTriggInputSet(camera, nullptr, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u);
}

}  // namespace

// The cached copies of a camera's settings. Valid only while one command
// connection lasts: every disconnect empties them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vkt {

// Settings cached as one 32-bit value; -1 means not read yet.
enum class ValueSlot : int { kAeMode, kAwbMode, kFlashLampState, kDefaultImageRotation, kImageRotation, kCount };

// Settings cached as a whole record (a valid flag and a copy).
enum class RecordSlot : int {
  kAeParam,
  kAwbParam,
  kDefaultDeviceInfo,
  kDeviceInfo,
  kDefaultIts,
  kIts,
  kDefaultNightControl,
  kNightControl,
  kDefaultNetWork,
  kNetWork,
  kDefaultFtp,
  kFtp,
  kDefaultSntp,
  kSntp,
  kDefaultTimeZone,
  kTimeZone,
  kDefaultOsd,
  kOsd,
  kDefaultPicFileName,
  kPicFileName,
  kDefaultHotRegion,
  kHotRegion,
  kDefaultStreamPicType,
  kStreamPicType,
  kDefaultTriggFlash,
  kTriggFlash,
  kDefaultRs485,
  kRs485,
  kDefaultRs232,
  kRs232,
  kDefaultSpeed,
  kSpeed,
  kCount
};

class SettingsCache {
 public:
  // The largest cached record (the combined flash lamp and trigger record).
  static constexpr size_t kMaxRecord = 668;

  SettingsCache() { Invalidate(); }

  // Every slot back to "not read".
  void Invalidate() {
    values_.fill(-1);
    for (auto& r : records_) r.valid = 0;
  }

  int32_t Value(ValueSlot slot) const { return values_[Index(slot)]; }
  void SetValue(ValueSlot slot, int32_t value) { values_[Index(slot)] = value; }

  bool Valid(RecordSlot slot) const { return records_[Index(slot)].valid != 0; }
  const uint8_t* Record(RecordSlot slot) const { return records_[Index(slot)].bytes.data(); }
  // Stores `size` bytes (at most kMaxRecord) and marks the slot valid.
  void SetRecord(RecordSlot slot, const void* bytes, size_t size);

 private:
  template <typename E>
  static size_t Index(E e) {
    return static_cast<size_t>(e);
  }
  struct Slot {
    int32_t valid = 0;
    std::array<uint8_t, kMaxRecord> bytes{};
  };
  std::array<int32_t, static_cast<size_t>(ValueSlot::kCount)> values_{};
  std::array<Slot, static_cast<size_t>(RecordSlot::kCount)> records_{};
};

static_assert(static_cast<int>(ValueSlot::kCount) == 5);
static_assert(static_cast<int>(RecordSlot::kCount) == 32);

}  // namespace vkt

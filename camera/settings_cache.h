// The cached copies of a camera's settings. Valid only while one command
// connection lasts: every disconnect empties them.
//
// Most cameras never have most settings read, and most records are 4 to 100
// bytes: each record slot holds only its record, allocated with the size of
// its first store, so an idle camera pays a pointer and two lengths per slot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "settings/settings_list.h"

namespace vkt {

// Settings cached as one 32-bit value; -1 means not read yet.
#define VKT_VALUE_SLOT(Slot, ...) k##Slot,
enum class ValueSlot : int {
  VKT_SETTINGS(VKT_SETTING_NONE, VKT_SETTING_NONE, VKT_VALUE_SLOT, VKT_SETTING_NONE, VKT_SETTING_NONE, VKT_SETTING_NONE,
               VKT_SETTING_NONE, VKT_SETTING_NONE) kCount
};
#undef VKT_VALUE_SLOT

// Settings cached as a whole record (a valid flag and a copy): the current
// and the factory default of each record and defaulted value, and the last
// written of each record without a default.
#define VKT_RECORD_SLOTS(Name, ...) kDefault##Name, k##Name,
#define VKT_RECORD_SLOT(Name, ...) k##Name,
enum class RecordSlot : int {
  VKT_SETTINGS(VKT_RECORD_SLOTS, VKT_RECORD_SLOTS, VKT_SETTING_NONE, VKT_RECORD_SLOT, VKT_SETTING_NONE, VKT_SETTING_NONE,
               VKT_SETTING_NONE, VKT_RECORD_SLOTS) kCount
};
#undef VKT_RECORD_SLOTS
#undef VKT_RECORD_SLOT

class SettingsCache {
 public:
  // The largest cached record (the combined flash lamp and trigger record).
  static constexpr size_t kMaxRecord = 668;

  SettingsCache() { values_.fill(-1); }

  // Every slot back to "not read". The records' storage is kept: a
  // disconnect comes with every failed command, and a camera whose settings
  // were read is read again once it reconnects, so freeing would only turn
  // a flapping connection into allocations under the command lock; what is
  // kept is bounded by the records this camera has read (about 3 KiB).
  void Invalidate();

  int32_t Value(ValueSlot slot) const { return values_[Index(slot)]; }
  void SetValue(ValueSlot slot, int32_t value) { values_[Index(slot)] = value; }

  bool Valid(RecordSlot slot) const { return records_[Index(slot)].valid; }
  // The bytes of the last store since the last Invalidate, exactly (empty
  // when not valid).
  std::span<const uint8_t> Record(RecordSlot slot) const;
  // `size` bytes of the record into `out`: the stored bytes, then zeros past
  // a shorter store (never bytes of an earlier, longer one).
  void CopyRecord(RecordSlot slot, void* out, size_t size) const;
  // Stores `size` bytes (at most kMaxRecord are kept) and marks the slot
  // valid. When the slot's storage cannot grow to that size the slot stays
  // "not read": the next read asks the camera.
  void SetRecord(RecordSlot slot, const void* bytes, size_t size);
  // Bytes allocated for records.
  size_t HeldBytes() const;

 private:
  template <typename E>
  static size_t Index(E e) {
    return static_cast<size_t>(e);
  }
  struct Slot {
    std::unique_ptr<uint8_t[]> bytes;  // `capacity` bytes, null until the first store
    uint16_t capacity = 0;
    uint16_t length = 0;  // of the record stored; 0 when not valid
    bool valid = false;
  };
  static_assert(kMaxRecord <= UINT16_MAX);
  std::array<int32_t, static_cast<size_t>(ValueSlot::kCount)> values_{};
  std::array<Slot, static_cast<size_t>(RecordSlot::kCount)> records_{};
};

}  // namespace vkt

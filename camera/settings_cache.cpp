#include "camera/settings_cache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vkt {

void SettingsCache::Invalidate() {
  values_.fill(-1);
  for (Slot& s : records_) {
    s.valid = false;
    s.length = 0;
  }
}

std::span<const uint8_t> SettingsCache::Record(RecordSlot slot) const {
  const Slot& s = records_[Index(slot)];
  if (!s.valid) return {};
  return {s.bytes.get(), s.length};
}

void SettingsCache::CopyRecord(RecordSlot slot, void* out, size_t size) const {
  const std::span<const uint8_t> stored = Record(slot);
  const size_t take = std::min(size, stored.size());
  auto* to = static_cast<uint8_t*>(out);
  if (take != 0) std::memcpy(to, stored.data(), take);
  std::memset(to + take, 0, size - take);
}

void SettingsCache::SetRecord(RecordSlot slot, const void* bytes, size_t size) {
  Slot& s = records_[Index(slot)];
  size = std::min(size, kMaxRecord);
  if (size > s.capacity) {
    // Exactly this record's size: a slot holds one setting, so it grows at
    // most once more, from a short form to the long one.
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[size]);
    if (!grown) {
      s.valid = false;
      s.length = 0;
      return;
    }
    s.bytes = std::move(grown);
    s.capacity = static_cast<uint16_t>(size);
  }
  if (size != 0) std::memcpy(s.bytes.get(), bytes, size);
  s.length = static_cast<uint16_t>(size);
  s.valid = true;
}

size_t SettingsCache::HeldBytes() const {
  size_t held = 0;
  for (const Slot& s : records_) held += s.capacity;
  return held;
}

}  // namespace vkt

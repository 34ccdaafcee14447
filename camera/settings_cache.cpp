#include "camera/settings_cache.h"

#include <algorithm>
#include <cstring>

namespace vkt {

void SettingsCache::SetRecord(RecordSlot slot, const void* bytes, size_t size) {
  Slot& s = records_[Index(slot)];
  std::memcpy(s.bytes.data(), bytes, std::min(size, kMaxRecord));
  s.valid = 1;
}

}  // namespace vkt

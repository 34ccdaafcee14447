// The sizes of the blocks the SD card's requests carry (their command codes
// are in camera/protocol.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "camera/protocol.h"

namespace vkt {
// A listing request: the path field, the count and four zero bytes where a
// 32-bit host keeps its entries reference.
inline constexpr size_t kTreeRequestBytes = 264;
inline constexpr size_t kFetchNameBytes = 260;   // a DirectoryEntry
inline constexpr size_t kDeleteNameBytes = 264;  // a listing request's size
// The largest listing answer taken: as large as the largest picture.
inline constexpr size_t kMaxListingBytes = 4u * 1024u * 1024u;
}  // namespace vkt

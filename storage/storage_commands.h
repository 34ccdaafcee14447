// Command codes of the SD card and its stored pictures, and the sizes of the
// blocks their requests carry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vkt::command {
inline constexpr int32_t kSDCardState = 1200;
inline constexpr int32_t kFormatSDCard = 1205;
inline constexpr int32_t kFormatProgress = 1206;
inline constexpr int32_t kDirectoryTree = 1210;
inline constexpr int32_t kGetJPGPic = 1216;
inline constexpr int32_t kDeleteJPGPic = 1217;
}  // namespace vkt::command

namespace vkt {
// A listing request: the path field, the count and four zero bytes where a
// 32-bit host keeps its entries reference.
inline constexpr size_t kTreeRequestBytes = 264;
inline constexpr size_t kFetchNameBytes = 260;   // a DirectoryEntry
inline constexpr size_t kDeleteNameBytes = 264;  // a listing request's size
// The largest listing answer taken: as large as the largest picture.
inline constexpr size_t kMaxListingBytes = 4u * 1024u * 1024u;
}  // namespace vkt

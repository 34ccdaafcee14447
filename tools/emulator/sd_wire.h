// Payloads of the SD card commands. Requests name a directory or a picture
// in a fixed 256-byte text field; replies are packed (no alignment):
//
//   1200 state    three little-endian words: card status, capacity MiB,
//                 free MiB
//   1210 listing  request: path[256], a count word, 4 bytes (both ignored);
//                 reply: a word (1: a tree follows, 0: nothing follows),
//                 the path as asked, zero-terminated, a count word, then
//                 per entry a value word (-1: a directory, otherwise the
//                 picture's size) and its zero-terminated name
//   1216 fetch    request: a value word (ignored), name[256]; reply: the
//                 picture's bytes
//   1217 delete   request: path[256], 8 bytes (ignored)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vktemu::wire {

inline constexpr size_t kSdTextSize = 256;
inline constexpr size_t kSdStateSize = 12;
inline constexpr size_t kSdListRequestSize = 264;
inline constexpr size_t kSdFetchRequestSize = 260;
inline constexpr size_t kSdDeleteRequestSize = 264;
inline constexpr int32_t kSdDirectoryValue = -1;

struct SdEntry {
  int32_t value = 0;  // kSdDirectoryValue or a picture's size in bytes
  std::string name;
};

// The text field of a request payload of exactly `size` bytes that starts
// at `at`: its bytes up to the first zero. Nothing when the payload has
// another size or the field holds no zero.
std::optional<std::string> sdRequestText(std::span<const uint8_t> payload, size_t size, size_t at);

std::vector<uint8_t> encodeSdState(int32_t status, int32_t capacityMiB, int32_t freeMiB);

// A listing reply with a tree.
std::vector<uint8_t> encodeSdListing(std::string_view path, const std::vector<SdEntry>& entries);
// A listing reply without one: the leading word 0 alone.
std::vector<uint8_t> encodeSdNoTree();

}  // namespace vktemu::wire

// A camera's answer to a directory listing, parsed as GetDirectoryTree
// parses the payload it received.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "storage/directory_tree_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly `size` bytes, as the library allocates the payload.
  auto* payload = new uint8_t[size > 0 ? size : 1];
  if (size != 0) std::memcpy(payload, data, size);
  vkt::DirectoryListing listing = vkt::ParseDirectoryListing(payload, size);
  if (listing.outcome == vkt::DirectoryListing::Outcome::kTree) {
    // Every text is terminated within its field, and every entry the
    // count announces is there to be read.
    if (listing.pathLength >= listing.path.size() || listing.path[listing.pathLength] != '\0') __builtin_trap();
    if (std::strlen(listing.path.data()) != listing.pathLength) __builtin_trap();
    if (listing.count < 0 || !listing.entries) __builtin_trap();
    for (int32_t i = 0; i < listing.count; ++i) {
      const DirectoryEntry& entry = listing.entries[static_cast<size_t>(i)];
      if (std::memchr(entry.name, 0, sizeof entry.name) == nullptr) __builtin_trap();
    }
    // The entries need at least five bytes each of the answer.
    if (static_cast<size_t>(listing.count) * 5 > size) __builtin_trap();
  }
  delete[] payload;
  return 0;
}

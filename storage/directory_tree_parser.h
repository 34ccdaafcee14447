// Reading a camera's answer to a directory listing. The answer is untrusted:
// every text, count and entry is checked against the bytes that arrived
// before anything is allocated or copied.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "VKTNetSDK11.h"

namespace vkt {

struct DirectoryListing {
  enum class Outcome {
    kNoTree,     // the camera sent no tree (empty answer, or leading word <= 0)
    kTree,       // path, count and entries are set
    kMalformed,  // the answer is not a tree; nothing is set
  };
  Outcome outcome = Outcome::kMalformed;
  std::array<char, 256> path{};  // zero-terminated; bytes after the terminator zero
  size_t pathLength = 0;         // text bytes before the terminator
  int32_t count = 0;
  std::unique_ptr<DirectoryEntry[]> entries;  // `count` entries (non-null, also for 0)
};

// The answer: leading word; when it is above 0, the path text, the count and
// `count` entries of a word and a name, all texts zero-terminated and at most
// 256 bytes with their terminator. Bytes after the last entry are ignored.
// Allocation failure is reported as malformed.
DirectoryListing ParseDirectoryListing(const uint8_t* payload, size_t length);

}  // namespace vkt

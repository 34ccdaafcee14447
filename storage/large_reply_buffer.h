// The 4 MiB buffer a camera's stored pictures are fetched into and lent
// from. It is mapped on the first fetch, so cameras that never fetch cost no
// memory, and only the bytes a fetch may have written are cleared again, so
// a fetch costs what its picture costs rather than a 4 MiB clear.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vkt {

class LargeReplyBuffer {
 public:
  static constexpr size_t kCapacity = 4u * 1024u * 1024u;

  LargeReplyBuffer() = default;
  ~LargeReplyBuffer();
  LargeReplyBuffer(const LargeReplyBuffer&) = delete;
  LargeReplyBuffer& operator=(const LargeReplyBuffer&) = delete;

  // The buffer, mapped (zero) on first use; null when it cannot be mapped.
  uint8_t* Acquire();
  // Up to `length` bytes may be written from the start (a receive that may
  // have stopped anywhere before it).
  void MayHaveWritten(size_t length);
  // The first `length` bytes hold a picture; everything after it is made
  // zero again.
  void Keep(size_t length);
  bool Mapped() const { return data_ != nullptr; }

 private:
  uint8_t* data_ = nullptr;
  size_t dirty_ = 0;  // no byte at or past this offset is non-zero
};

}  // namespace vkt

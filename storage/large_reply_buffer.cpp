#include "storage/large_reply_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vkt {

LargeReplyBuffer::~LargeReplyBuffer() {
  if (data_ != nullptr) ::munmap(data_, kCapacity);
}

uint8_t* LargeReplyBuffer::Acquire() {
  if (data_ == nullptr) {
    // Anonymous pages read as zero and take no memory until written.
    void* p = ::mmap(nullptr, kCapacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    data_ = static_cast<uint8_t*>(p);
    dirty_ = 0;
  }
  return data_;
}

void LargeReplyBuffer::MayHaveWritten(size_t length) { dirty_ = std::max(dirty_, std::min(length, kCapacity)); }

void LargeReplyBuffer::Keep(size_t length) {
  length = std::min(length, kCapacity);
  if (data_ == nullptr || dirty_ <= length) {
    dirty_ = std::max(dirty_, length);
    return;
  }
  // Clear [length, dirty_): whole pages are handed back to the system (they
  // read as zero again and stop counting as resident), the rest is zeroed.
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  size_t from = length;
  const size_t to = dirty_;
  const size_t firstPage = (from + page - 1) / page * page;
  const size_t lastPage = to / page * page;
  if (firstPage < lastPage && ::madvise(data_ + firstPage, lastPage - firstPage, MADV_DONTNEED) == 0) {
    std::memset(data_ + from, 0, firstPage - from);
    std::memset(data_ + lastPage, 0, to - lastPage);
  } else {
    std::memset(data_ + from, 0, to - from);
  }
  dirty_ = length;
}

}  // namespace vkt

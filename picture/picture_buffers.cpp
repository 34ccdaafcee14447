#include "picture/picture_buffers.h"

#include <sys/mman.h>

#include <bit>
#include <new>

#include "api/statistics.h"
#include "picture/picture_framing.h"

namespace vkt {

PictureBuffers::Block& PictureBuffers::Block::operator=(Block&& other) noexcept {
  if (this != &other) {
    Release();
    owner_ = other.owner_;
    data_ = other.data_;
    size_ = other.size_;
    mapped_ = other.mapped_;
    other.data_ = nullptr;
    other.size_ = other.mapped_ = 0;
  }
  return *this;
}

void PictureBuffers::Block::Release() {
  if (data_ == nullptr) return;
  if (mapped_ == 0) {
    delete[] data_;
  } else {
    owner_->Recycle(data_, mapped_);
  }
  data_ = nullptr;
  size_ = mapped_ = 0;
}

PictureBuffers::PictureBuffers(size_t capBytes) : cap_(capBytes) {}

PictureBuffers::~PictureBuffers() {
  for (int c = 0; c < kClasses; ++c) {
    for (uint8_t* data : idle_[c]) ::munmap(data, kMinMapped << c);
  }
}

int PictureBuffers::ClassOf(size_t mapped) { return std::countr_zero(mapped) - std::countr_zero(kMinMapped); }

PictureBuffers::Block PictureBuffers::Allocate(size_t size) {
  Block block;
  if (size == 0 || size > picture::kMaxPicture) return block;
  block.owner_ = this;
  block.size_ = size;
  if (size <= kHeapBlock) {
    block.data_ = new (std::nothrow) uint8_t[size];
    if (block.data_ == nullptr) block.size_ = 0;
    return block;
  }
  const size_t mapped = std::bit_ceil(size);
  {
    std::lock_guard<std::mutex> lock(idleLock_);
    auto& idle = idle_[ClassOf(mapped)];
    if (!idle.empty()) {
      block.data_ = idle.back();
      idle.pop_back();
      idleBytes_ -= mapped;
      block.mapped_ = mapped;
      return block;
    }
  }
  void* data = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (data == MAP_FAILED) {
    block.size_ = 0;
    return block;
  }
  block.data_ = static_cast<uint8_t*>(data);
  block.mapped_ = mapped;
  return block;
}

void PictureBuffers::Recycle(uint8_t* data, size_t mapped) {
  {
    std::lock_guard<std::mutex> lock(idleLock_);
    if (idleBytes_ + mapped <= kIdleBytes) {
      idle_[ClassOf(mapped)].push_back(data);
      idleBytes_ += mapped;
      return;
    }
  }
  ::munmap(data, mapped);
}

size_t PictureBuffers::Take(size_t want) {
  size_t held = held_.load(std::memory_order_relaxed);
  size_t take;
  do {
    if (held >= cap_) return 0;
    take = want < cap_ - held ? want : cap_ - held;
  } while (!held_.compare_exchange_weak(held, held + take, std::memory_order_relaxed));
  return take;
}

void PictureBuffers::Give(size_t n) {
  if (n != 0) held_.fetch_sub(n, std::memory_order_relaxed);
}

void PictureBuffers::Stored(size_t n) {
  LibraryCounterSet& counters = LibraryCounters();
  const uint64_t now = counters.pictureBytesBuffered.fetch_add(n, std::memory_order_relaxed) + n;
  RaisePeak(counters.pictureBytesBufferedPeak, now);
}

void PictureBuffers::Freed(size_t n) {
  if (n != 0) LibraryCounters().pictureBytesBuffered.fetch_sub(n, std::memory_order_relaxed);
}

}  // namespace vkt

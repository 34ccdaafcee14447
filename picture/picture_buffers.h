// Memory for pictures still arriving: the cap on bytes held at once, and
// the blocks that hold a picture once its length is announced.
//
// A large block is an anonymous mapping of the announced length: the system
// backs its pages only as bytes land in them, so a connection costs what
// has arrived, never what it announced. Blocks given back are kept for reuse
// (up to kIdleBytes in all), so a steady flow of large pictures neither maps
// nor faults in fresh pages for each one.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vkt {

class PictureBuffers {
 public:
  // Blocks up to this size come from the heap.
  static constexpr size_t kHeapBlock = 64 * 1024;
  // Mapped blocks kept for reuse, in all.
  static constexpr size_t kIdleBytes = 32 * 1024 * 1024;

  class Block {
   public:
    Block() = default;
    ~Block() { Release(); }
    Block(Block&& other) noexcept { *this = std::move(other); }
    Block& operator=(Block&& other) noexcept;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }
    void Release();

   private:
    friend class PictureBuffers;
    PictureBuffers* owner_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;    // what was asked for
    size_t mapped_ = 0;  // 0: from the heap
  };

  explicit PictureBuffers(size_t capBytes);
  ~PictureBuffers();
  PictureBuffers(const PictureBuffers&) = delete;
  PictureBuffers& operator=(const PictureBuffers&) = delete;

  // A block of `size` bytes (at most 4 MiB); empty when out of memory.
  Block Allocate(size_t size);

  // The cap: Take takes up to `want` bytes of what is left and returns how
  // many it took (0: the cap is reached); Give returns bytes.
  size_t Take(size_t want);
  void Give(size_t n);
  // What the connections really hold, for the counters.
  void Stored(size_t n);
  void Freed(size_t n);
  size_t Held() const { return held_.load(std::memory_order_relaxed); }
  bool Full() const { return Held() >= cap_; }
  size_t Cap() const { return cap_; }

 private:
  // Mapped blocks come in powers of two from 128 KiB to 4 MiB.
  static constexpr size_t kMinMapped = 128 * 1024;
  static constexpr int kClasses = 6;
  static int ClassOf(size_t mapped);
  void Recycle(uint8_t* data, size_t mapped);

  const size_t cap_;
  std::atomic<size_t> held_{0};
  std::mutex idleLock_;
  std::array<std::vector<uint8_t*>, kClasses> idle_;
  size_t idleBytes_ = 0;  // under idleLock_
};

}  // namespace vkt

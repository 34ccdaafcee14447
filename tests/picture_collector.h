// Collects what picture callbacks receive, for tests (callbacks are plain
// functions, so the collector is a global).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"

namespace vkttest {

struct Delivery {
  std::vector<uint8_t> bytes;
  int length = 0;
  PictureInfo info{};
  int value = 0;
  std::thread::id thread;
};

class PictureCollector {
 public:
  static PictureCollector& Instance() {
    static PictureCollector collector;
    return collector;
  }
  static void Callback(char* picture, int length, PictureInfo* info, int value) {
    Instance().Add(picture, length, info, value);
  }
  void Add(char* picture, int length, PictureInfo* info, int value) {
    Delivery d;
    d.bytes.assign(picture, picture + length);
    d.length = length;
    d.info = *info;
    d.value = value;
    d.thread = std::this_thread::get_id();
    if (auto hook = onDelivery.load()) hook(d);
    std::lock_guard<std::mutex> lock(mutex_);
    deliveries_.push_back(std::move(d));
    cv_.notify_all();
  }
  bool WaitFor(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return deliveries_.size() >= n; });
  }
  std::vector<Delivery> All() {
    std::lock_guard<std::mutex> lock(mutex_);
    return deliveries_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return deliveries_.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    deliveries_.clear();
    onDelivery = nullptr;
  }
  // Runs inside the callback, on the library's thread; set while pictures
  // may be arriving, hence atomic.
  std::atomic<void (*)(const Delivery&)> onDelivery{nullptr};

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Delivery> deliveries_;
};

}  // namespace vkttest

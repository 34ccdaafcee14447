// The process-wide state of the library: started or not, and what a start
// creates (the picture listener with its receivers, the stream receivers).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "camera/camera_registry.h"
#include "camera/protocol.h"
#include "picture/picture_limits.h"

namespace vkt {

class PictureReceiver;
class StreamPool;

class Library {
 public:
  static constexpr int kVersion = 257;
  static constexpr int kPictureWorkers = 8;
  static constexpr int kStreamWorkers = 4;

  // The one instance. It is never destroyed, so its locks and its started
  // state stay valid for calls that race VKT_Close or the process exit.
  static Library& Instance();

  // Load and unload of the library.
  void OnLoad();
  void OnUnload();

  int Init(int version, int* supportedVersion);
  int Close();

  bool Started() const { return startedVersion_.load(std::memory_order_acquire) != 0; }
  int ProtocolVersion() const { return protocolVersion_.load(std::memory_order_relaxed); }

  // The port the picture receivers listen on (host order), as announced to
  // cameras. Readable at any time, also by a call racing VKT_Close.
  uint16_t PictureListenPort() const { return pictureListenPort_.load(std::memory_order_acquire); }

  // The cameras added and not deleted. Alive for the whole process.
  CameraRegistry& Registry() { return registry_; }

  // The picture receivers' limits from the next start on (the header's
  // figures unless changed: tests provoke the caps with smaller ones).
  void SetPictureLimits(const PictureLimits& limits) { pictureLimits_ = limits; }

  // Valid while started; only VKT_Init and VKT_Close change them.
  PictureReceiver* Pictures() { return pictures_.get(); }
  // The stream receivers' pool: alive for the whole process, its receivers
  // only while started.
  StreamPool& Streams() { return *streams_; }

 private:
  Library();
  bool Start();
  void Teardown();

  std::mutex lifecycleLock_;  // VKT_Init and VKT_Close run one at a time
  CameraRegistry registry_;
  std::atomic<int> startedVersion_{0};
  std::atomic<int> protocolVersion_{kVersion};
  std::atomic<uint16_t> pictureListenPort_{kPicturePort};
  bool singleInstance_ = false;
  bool startRan_ = false;  // a start ran since the last close: close has work to do
  PictureLimits pictureLimits_;
  std::unique_ptr<PictureReceiver> pictures_;
  std::unique_ptr<StreamPool> streams_;
};

}  // namespace vkt

// The camera library as the plugin uses it: loaded with dlopen at the first
// element's start (never at plugin load, which must not take the library's
// one-process claim), started once for every element of the process, closed
// after the last one stops. Frames and pictures arrive on the library's
// threads and are routed here to the element that asked for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "VKTNetSDK11.h"

namespace vktgst {

// The library's functions the element calls, resolved with dlsym.
struct LibraryApi {
  int (*Init)(int, int*);
  int (*Close)();
  int (*GetLastError)();
  int (*AddCameraIP)(const char*, PictureCallback, unsigned int);
  int (*DelCamera)(int);
  int (*StartStream)(int, StreamCallback, int, unsigned int);
  int (*SnapPicture)(int, int, unsigned int);
  int (*GetCameraStatistics)(int, CameraStatistics*, unsigned int);
};

// What receives a camera's frames or pictures. Called on library threads:
// implementations copy what they need and return without blocking.
class FrameSink {
 public:
  virtual void OnStreamFrame(const uint8_t* frame, size_t length, const StreamInfo& info) = 0;
  virtual void OnPicture(const uint8_t* picture, size_t length, const PictureInfo& info, int value) = 0;

 protected:
  ~FrameSink() = default;
};

class SharedLibrary {
 public:
  // The one per process. Loading the plugin constructs nothing of it.
  static SharedLibrary& Instance();

  // One more user: the first loads and starts the library. Null with the
  // reason in *error when it cannot (not found, another process uses it,
  // start refused).
  const LibraryApi* Acquire(std::string* error);
  // One user less: the last one closes the library (it stays loaded).
  void Release();

  // The API once the library has been started in this process, else null.
  // It is never unloaded after a successful start, so the pointer stays
  // valid.
  const LibraryApi* Loaded() const;

  // Adds the camera at `address` for one more user (the library returns the
  // same handle for the same camera); -1 with the library's error code in
  // *code. ReleaseCamera deletes it when its last user lets go.
  int AcquireCamera(const std::string& address, unsigned int timeoutMs, int* code);
  void ReleaseCamera(int handle);

  // Routes the camera's stream frames (stream = true) or its pictures to
  // `sink`. Returns the route's id, the user value of VKT_StartStream.
  int AddRoute(int camera, bool stream, FrameSink* sink);
  // When this returns no callback is inside the route's sink, nor will be.
  void RemoveRoute(int id);

  // The library's callbacks.
  static void OnStream(char* frame, int length, StreamInfo* info, int user);
  static void OnPicture(char* picture, int length, PictureInfo* info, int value);

 private:
  SharedLibrary() = default;
  bool Load(std::string* error);
  void Unload();

  struct Route {
    int camera;
    bool stream;
    FrameSink* sink;
  };

  std::mutex lifecycleLock_;  // load, start, close
  void* handle_ = nullptr;    // dlopen handle
  LibraryApi api_{};
  bool everStarted_ = false;  // then the library stays loaded for good
  int users_ = 0;
  // Held across an add and a delete, so that an element adding a camera
  // another one is deleting gets a live handle. The library serialises
  // searches anyway. Taken after lifecycleLock_ when both are.
  std::mutex cameraLock_;
  std::map<int, int> cameraUsers_;  // handle -> elements using it

  mutable std::shared_mutex routeLock_;  // callbacks read, add and remove write
  std::map<int, Route> routes_;
  int nextRoute_ = 1;
};

}  // namespace vktgst

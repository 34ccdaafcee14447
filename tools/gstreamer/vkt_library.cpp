#include "vkt_library.h"

#include <dlfcn.h>

#include <atomic>

namespace vktgst {
namespace {

std::atomic<const LibraryApi*> g_loaded{nullptr};

template <typename F>
bool Resolve(void* handle, const char* name, F* out, std::string* error) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    *error = std::string("the library has no ") + name;
    return false;
  }
  *out = reinterpret_cast<F>(symbol);
  return true;
}

}  // namespace

SharedLibrary& SharedLibrary::Instance() {
  // Never destroyed: library threads may still be finishing a callback while
  // the process exits.
  static SharedLibrary* instance = new SharedLibrary();
  return *instance;
}

namespace {

// The library next to the plugin's folder (lib/gstreamer-1.0/.. = lib), as
// installed and as built; empty when the plugin's own path is unknown. An
// explicit path rather than a run path: a sanitizer's dlopen interceptor
// makes the run time look up names from its own object, not from ours.
std::string SiblingLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&SiblingLibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
  std::string plugin = info.dli_fname;
  auto slash = plugin.rfind('/');
  if (slash == std::string::npos) return {};
  return plugin.substr(0, slash) + "/../" VKTGST_LIBRARY_NAME;
}

}  // namespace

bool SharedLibrary::Load(std::string* error) {
  if (handle_ != nullptr) return true;
  std::string sibling = SiblingLibraryPath();
  if (!sibling.empty()) handle_ = dlopen(sibling.c_str(), RTLD_NOW | RTLD_LOCAL);
  // Else by soname, from the system's library folders.
  if (handle_ == nullptr) handle_ = dlopen(VKTGST_LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    *error = std::string("cannot load " VKTGST_LIBRARY_NAME ": ") + (reason ? reason : "unknown reason");
    return false;
  }
  bool ok = Resolve(handle_, "VKT_Init", &api_.Init, error) && Resolve(handle_, "VKT_Close", &api_.Close, error) &&
            Resolve(handle_, "VKT_GetLastError", &api_.GetLastError, error) &&
            Resolve(handle_, "VKT_AddCamera_IP", &api_.AddCameraIP, error) &&
            Resolve(handle_, "VKT_DelCamera", &api_.DelCamera, error) &&
            Resolve(handle_, "VKT_StartStream", &api_.StartStream, error) &&
            Resolve(handle_, "VKT_SnapPicture", &api_.SnapPicture, error) &&
            Resolve(handle_, "VKT_GetCameraStatistics", &api_.GetCameraStatistics, error);
  if (!ok) Unload();
  return ok;
}

void SharedLibrary::Unload() {
  if (handle_ == nullptr || everStarted_) return;
  dlclose(handle_);
  handle_ = nullptr;
  api_ = {};
}

const LibraryApi* SharedLibrary::Acquire(std::string* error) {
  std::lock_guard<std::mutex> lock(lifecycleLock_);
  if (users_ > 0) {
    ++users_;
    return &api_;
  }
  if (!Load(error)) return nullptr;
  int supported = 0;
  int result = api_.Init(VKT_SDK_VERSION, &supported);
  if (result != 0) {
    if (result == -1) {
      *error = "another process on this host uses the camera library (one process at a time)";
      // The claim is made at load: unloading lets a later start claim it
      // again once that process has ended.
      Unload();
    } else {
      *error = "the camera library refused to start (version " + std::to_string(supported) + ")";
    }
    return nullptr;
  }
  everStarted_ = true;
  g_loaded.store(&api_, std::memory_order_release);
  users_ = 1;
  return &api_;
}

void SharedLibrary::Release() {
  std::lock_guard<std::mutex> lock(lifecycleLock_);
  if (users_ == 0) return;
  if (--users_ == 0) {
    api_.Close();
    std::lock_guard<std::mutex> cameras(cameraLock_);
    cameraUsers_.clear();  // VKT_Close deleted every camera
  }
}

const LibraryApi* SharedLibrary::Loaded() const { return g_loaded.load(std::memory_order_acquire); }

int SharedLibrary::AcquireCamera(const std::string& address, unsigned int timeoutMs, int* code) {
  // Not under the lifecycle lock: the search takes the whole time-out and
  // other elements' stops need not wait for it. The caller holds a library
  // user, so the library stays started meanwhile.
  std::lock_guard<std::mutex> lock(cameraLock_);
  const LibraryApi* api = Loaded();
  int handle = api->AddCameraIP(address.c_str(), &SharedLibrary::OnPicture, timeoutMs);
  if (handle == -1 || handle == 1) {
    *code = api->GetLastError();
    return -1;
  }
  ++cameraUsers_[handle];
  return handle;
}

void SharedLibrary::ReleaseCamera(int handle) {
  std::lock_guard<std::mutex> lock(cameraLock_);
  auto it = cameraUsers_.find(handle);
  if (it == cameraUsers_.end()) return;
  if (--it->second > 0) return;
  cameraUsers_.erase(it);
  api_.DelCamera(handle);
}

int SharedLibrary::AddRoute(int camera, bool stream, FrameSink* sink) {
  std::unique_lock lock(routeLock_);
  int id = nextRoute_++;
  routes_.emplace(id, Route{camera, stream, sink});
  return id;
}

void SharedLibrary::RemoveRoute(int id) {
  // Taking the lock exclusively waits for every callback inside a sink.
  std::unique_lock lock(routeLock_);
  routes_.erase(id);
}

void SharedLibrary::OnStream(char* frame, int length, StreamInfo* info, int user) {
  if (frame == nullptr || length <= 0 || info == nullptr) return;
  SharedLibrary& self = Instance();
  std::shared_lock lock(self.routeLock_);
  auto it = self.routes_.find(user);
  if (it == self.routes_.end() || !it->second.stream) return;
  it->second.sink->OnStreamFrame(reinterpret_cast<const uint8_t*>(frame), static_cast<size_t>(length), *info);
}

void SharedLibrary::OnPicture(char* picture, int length, PictureInfo* info, int value) {
  if (picture == nullptr || length <= 0 || info == nullptr) return;
  SharedLibrary& self = Instance();
  std::shared_lock lock(self.routeLock_);
  // Every picture element of the camera gets the picture.
  for (const auto& [id, route] : self.routes_) {
    if (!route.stream && route.camera == info->camera)
      route.sink->OnPicture(reinterpret_cast<const uint8_t*>(picture), static_cast<size_t>(length), *info, value);
  }
}

}  // namespace vktgst

#include "api/library.h"

#include <ace/Init_ACE.h>

#include "api/library_thread.h"
#include "api/single_instance.h"
#include "camera/camera_context.h"
#include "picture/picture_receiver.h"
#include "stream/stream_pool.h"

namespace vkt {
namespace {

// Loading the library claims the one-process name; unloading it (or the
// process exiting) closes the library.
__attribute__((constructor)) void OnLibraryLoad() { Library::Instance().OnLoad(); }
__attribute__((destructor)) void OnLibraryUnload() { Library::Instance().OnUnload(); }

}  // namespace

Library& Library::Instance() {
  // Deliberately never freed: static destructors run before the unload
  // handler, which still needs this object to close the library.
  static Library* instance = new Library();
  return *instance;
}

Library::Library() : streams_(std::make_unique<StreamPool>()) {}

// ACE stays initialised from load to unload. Finalising it at every close
// would orphan the per-thread ACE objects of every application thread alive
// at that moment (a leak per thread and close); at unload no such thread is
// left to matter.
void Library::OnLoad() {
  ACE::init();
  SilenceAceLogging();
  std::lock_guard<std::mutex> lock(lifecycleLock_);
  singleInstance_ = ClaimSingleInstance();
}

void Library::OnUnload() {
  {
    std::lock_guard<std::mutex> lock(lifecycleLock_);
    singleInstance_ = false;
  }
  Close();
  ReleaseSingleInstance();
  ACE::fini();
}

int Library::Init(int version, int* supportedVersion) {
  std::lock_guard<std::mutex> lock(lifecycleLock_);
  if (!singleInstance_) return -1;
  if (Started()) return 0;
  if (supportedVersion != nullptr) *supportedVersion = kVersion;
  if (version != kVersion) return 1;
  protocolVersion_.store(kVersion, std::memory_order_relaxed);
  if (!Start()) {
    Teardown();
    return 1;
  }
  // Published last: a call that sees the library started sees all of it.
  startedVersion_.store(kVersion, std::memory_order_release);
  return 0;
}

bool Library::Start() {
  startRan_ = true;
  pictures_ = std::make_unique<PictureReceiver>(pictureLimits_);
  if (!pictures_->Start(kPicturePort, kPictureWorkers)) return false;
  pictureListenPort_.store(pictures_->ListenPort(), std::memory_order_release);
  return streams_->Start(kStreamWorkers);
}

void Library::Teardown() {
  startedVersion_.store(0, std::memory_order_release);
  pictures_.reset();  // stops and joins its threads first
  streams_->Stop();
}

int Library::Close() {
  // A callback runs on a receiver thread; closing from there would have to
  // join that very thread.
  if (OnLibraryThread()) return 1;
  std::lock_guard<std::mutex> lock(lifecycleLock_);
  if (!startRan_) return 0;
  // Calls from now on fail as not started.
  startedVersion_.store(0, std::memory_order_release);
  // Stop the receivers (flag, wake, join) holding no lock they might need.
  if (pictures_) pictures_->Stop();
  streams_->Stop();
  {
    // Then delete every camera. A call still running on one keeps its
    // context until it returns; the contexts go outside the lock.
    std::vector<std::shared_ptr<CameraContext>> cameras;
    {
      std::lock_guard<std::recursive_mutex> lock(registry_.Lock());
      cameras = registry_.RemoveAll();
    }
    // Each camera's stream stops as a deletion stops it.
    for (auto& camera : cameras) {
      camera->StopStreamForDeletion();
      camera->StopDeliveries();
      camera->WaitForDeliveries();  // the receivers are joined: nothing runs now
    }
  }
  Teardown();
  startRan_ = false;
  return 0;
}

}  // namespace vkt

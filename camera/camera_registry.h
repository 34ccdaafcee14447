// The cameras added and not yet deleted, in the order they were added.
//
// Adding and deleting cameras hold the registry lock for their whole run
// (network exchanges included), as closing does. Look-ups do not wait for
// it: the list itself has a reader-writer lock of its own, which changes
// take too, so every call on a camera finds its context without queuing
// behind another camera's slow addition.
//
// Each entry keeps the camera's handle and current address beside its
// context, so a look-up (one per call, one per picture connection) scans a
// compact array instead of visiting every context in memory.
//
// A camera's handle is an opaque number from a counter (never 0, 1 or -1,
// never reused), so a stale handle can never reach another camera; the
// registry maps it to the context. Whoever looks a camera up gets a shared
// reference that keeps the context alive however long the call, callback or
// receiver using it runs, even if the camera is deleted meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "VKTNetSDK11.h"

namespace vkt {

class CameraContext;

class CameraRegistry {
 public:
  // Recursive: closing deletes every camera under it.
  std::recursive_mutex& Lock() { return lock_; }

  // The next unused handle.
  int NewHandle();

  // Look-ups; each takes the list's reader lock.
  std::shared_ptr<CameraContext> Find(int handle);
  // The first camera added with this IPv4 address (network order).
  std::shared_ptr<CameraContext> FindByAddress(uint32_t address);
  // Whether this very context is still registered.
  bool Contains(const CameraContext* context);

  // The callers of these hold the registry lock.
  std::shared_ptr<CameraContext> FindSameCamera(const DeviceRecord& record);
  void Add(std::shared_ptr<CameraContext> context);
  std::shared_ptr<CameraContext> Remove(int handle);
  std::vector<std::shared_ptr<CameraContext>> RemoveAll();
  size_t Size();
  // Moves a camera to a new address (a network setting): the context
  // reconnects there, and look-ups by address follow it.
  void Readdress(CameraContext& context, uint32_t ipAddress, uint32_t addressWord1);

 private:
  struct Entry {
    int handle;
    uint32_t address;  // the context's CameraAddress(), network order
    std::shared_ptr<CameraContext> camera;
  };

  std::recursive_mutex lock_;
  std::shared_mutex listLock_;  // guards cameras_; taken after lock_
  std::vector<Entry> cameras_;
  uint32_t nextHandle_ = 0x100;
};

}  // namespace vkt

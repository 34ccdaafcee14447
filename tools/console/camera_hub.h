// The cameras the console knows: found by a search or added by address,
// each added to the library (with the picture callback, so its pushed
// pictures reach the picture wall) under the handle the page names it by.
// Thread-safe: the HTTP server's threads share it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "VKTNetSDK11.h"

namespace vktconsole {

struct KnownCamera {
  DeviceRecord record{};
  std::string interface;     // where the last search heard it ("" unknown)
  int handle = -1;           // -1: the library did not take it
  int addError = 0;          // why not, when handle is -1
  bool inLastSearch = false; // answered the most recent search
};

struct SearchResult {
  int error = 0;  // VKT_OK, or why the search failed
  std::vector<KnownCamera> cameras;  // every camera known afterwards
};

struct AddResult {
  int error = 0;  // VKT_OK, or why the add failed
  std::optional<KnownCamera> camera;
};

class CameraHub {
 public:
  // `callback`: the picture callback cameras are added with.
  explicit CameraHub(PictureCallback callback);
  ~CameraHub();  // deletes the cameras it added

  CameraHub(const CameraHub&) = delete;
  CameraHub& operator=(const CameraHub&) = delete;

  // Searches for `timeoutMs` and adds what answered (each add within
  // `addTimeoutMs`). Searches run one at a time.
  SearchResult Search(unsigned timeoutMs, unsigned addTimeoutMs);

  // VKT_AddCamera_IP: searches, then adds the camera at `ip`.
  AddResult AddByAddress(const std::string& ip, unsigned timeoutMs);

  std::vector<KnownCamera> Cameras() const;
  std::optional<KnownCamera> Find(int handle) const;
  // The address the camera of `handle` was added at, "" when unknown.
  std::string AddressOf(int handle) const;

  // The library lends a listing's array and a fetched picture's buffer per
  // camera until that camera's next such call: calls on one camera's card
  // take this lock so no other request replaces what is being copied.
  std::shared_ptr<std::mutex> CardLock(int handle);

 private:
  // Puts a found or added camera into the list by MAC; an earlier handle of
  // the same MAC at another address is deleted. Caller holds mutex_.
  void Remember(KnownCamera camera);

  const PictureCallback callback_;
  std::mutex searchMutex_;
  mutable std::mutex mutex_;
  std::vector<KnownCamera> cameras_;
  std::map<int, std::shared_ptr<std::mutex>> cardLocks_;
};

}  // namespace vktconsole

#include "discovery/search.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/clock.h"
#include "api/last_error.h"
#include "api/statistics.h"
#include "discovery/broadcast_socket.h"
#include "discovery/discovery_wire.h"

namespace vkt::discovery {
namespace {

// The result of the last search, shared by every thread. Never freed, so it
// outlives every caller.
struct SearchResultList {
  std::mutex lock;  // held for a whole search, and for a fetch
  std::vector<DeviceRecord> records;
  std::vector<std::string> interfaces;  // where each record's answer arrived
};

SearchResultList& Results() {
  static SearchResultList* list = new SearchResultList();
  return *list;
}

bool KnownMac(const std::vector<DeviceRecord>& records, const DeviceRecord& candidate) {
  return std::any_of(records.begin(), records.end(), [&](const DeviceRecord& r) {
    return std::memcmp(r.macAddress, candidate.macAddress, sizeof r.macAddress) == 0;
  });
}

// Probes at the start and once more after half the time, out of every
// broadcast interface, and collects answers until more than `timeoutMs` has
// elapsed. False when a probe could not be sent anywhere; what was gathered
// until then stays in `results`.
bool RunSearch(uint32_t timeoutMs, SearchResultList& results) {
  BroadcastSockets sockets;
  if (!sockets.Open()) return false;
  if (sockets.SendBroadcast(kProbe.data(), kProbe.size(), 2) == 0) return false;
  Stopwatch watch;
  const uint64_t half = timeoutMs / 2;
  bool secondProbeSent = false;
  auto buffer = std::make_unique<uint8_t[]>(BroadcastSockets::kMaxDatagram);
  std::string interfaceName;
  for (;;) {
    long length = sockets.Receive(buffer.get(), half, &interfaceName);
    DeviceRecord record;
    if (length >= 0) {
      if (!ParseAnswer(buffer.get(), static_cast<size_t>(length), record)) {
        LibraryCounters().discoveryDatagramsSkipped.fetch_add(1, std::memory_order_relaxed);
      } else if (!KnownMac(results.records, record)) {
        results.records.push_back(record);
        results.interfaces.push_back(interfaceName);
      }
    }
    uint64_t elapsed = watch.ElapsedMs();
    if (elapsed > timeoutMs) return true;
    if (elapsed >= half && !secondProbeSent) {
      secondProbeSent = true;
      if (sockets.SendBroadcast(kProbe.data(), kProbe.size()) == 0) return false;
    }
  }
}

}  // namespace

namespace {

// Runs a new search unless `timeoutMs` is 0. The caller holds the list's lock.
int RefreshLocked(SearchResultList& results, unsigned int timeoutMs) {
  if (timeoutMs == 0) return 0;
  results.records.clear();
  results.interfaces.clear();
  if (!RunSearch(timeoutMs, results)) return Fail(err::kNetwork);
  return 0;
}

}  // namespace

int SearchCameras(DeviceRecord* records, int capacity, int* count, unsigned int timeoutMs) {
  if (count == nullptr) return Fail(err::kInvalidParam);
  SearchResultList& results = Results();
  std::lock_guard<std::mutex> lock(results.lock);
  if (timeoutMs != 0) *count = 0;
  const int refreshed = RefreshLocked(results, timeoutMs);
  const auto found = static_cast<long long>(results.records.size());
  *count = static_cast<int>(found);
  if (refreshed != 0) return 1;
  if (records == nullptr || static_cast<long long>(capacity) < found) return Fail(err::kInvalidParam);
  std::copy(results.records.begin(), results.records.end(), records);
  return 0;
}

int SearchAndCopy(unsigned int timeoutMs, std::vector<DeviceRecord>& found) {
  SearchResultList& results = Results();
  std::lock_guard<std::mutex> lock(results.lock);
  if (RefreshLocked(results, timeoutMs) != 0) return 1;
  found = results.records;
  return 0;
}

}  // namespace vkt::discovery

namespace vkt::discovery {

int SearchInterface(const DeviceRecord* record, char* name, int capacity) {
  if (record == nullptr || name == nullptr || capacity <= 0) return Fail(err::kInvalidParam);
  SearchResultList& results = Results();
  std::lock_guard<std::mutex> lock(results.lock);
  for (size_t i = 0; i < results.records.size(); ++i) {
    if (std::memcmp(results.records[i].macAddress, record->macAddress, sizeof record->macAddress) != 0) continue;
    const std::string& found = results.interfaces[i];
    if (found.size() >= static_cast<size_t>(capacity)) return Fail(err::kInvalidParam);
    std::memcpy(name, found.c_str(), found.size() + 1);
    return 0;
  }
  SetLastError(err::kCameraNotFound);
  return 1;
}

}  // namespace vkt::discovery

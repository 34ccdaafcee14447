#include "discovery/search.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "api/clock.h"
#include "api/last_error.h"
#include "discovery/broadcast_socket.h"
#include "discovery/discovery_wire.h"

namespace vkt::discovery {
namespace {

// The result of the last search, shared by every thread. Never freed, so it
// outlives every caller.
struct SearchResultList {
  std::mutex lock;  // held for a whole search, and for a fetch
  std::vector<DeviceRecord> records;
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

// Probes at the start and once more after half the time, collects answers
// until more than `timeoutMs` has elapsed. False when a probe could not be
// sent; what was gathered until then stays in `records`.
bool RunSearch(uint32_t timeoutMs, std::vector<DeviceRecord>& records) {
  BroadcastSocket socket;
  if (!socket.Open()) return false;
  if (!socket.SendBroadcast(kProbe.data(), kProbe.size()) &&
      !socket.SendBroadcast(kProbe.data(), kProbe.size())) {
    return false;
  }
  Stopwatch watch;
  const uint64_t half = timeoutMs / 2;
  bool secondProbeSent = false;
  auto buffer = std::make_unique<uint8_t[]>(BroadcastSocket::kMaxDatagram);
  for (;;) {
    long length = socket.Receive(buffer.get(), half);
    DeviceRecord record;
    if (length > 0 && ParseAnswer(buffer.get(), static_cast<size_t>(length), record) &&
        !KnownMac(records, record)) {
      records.push_back(record);
    }
    uint64_t elapsed = watch.ElapsedMs();
    if (elapsed > timeoutMs) return true;
    if (elapsed >= half && !secondProbeSent) {
      secondProbeSent = true;
      if (!socket.SendBroadcast(kProbe.data(), kProbe.size())) return false;
    }
  }
}

}  // namespace

namespace {

// Runs a new search unless `timeoutMs` is 0. The caller holds the list's lock.
int RefreshLocked(SearchResultList& results, unsigned int timeoutMs) {
  if (timeoutMs == 0) return 0;
  results.records.clear();
  if (!RunSearch(timeoutMs, results.records)) {
    SetLastError(err::kNetwork);
    return 1;
  }
  return 0;
}

}  // namespace

int SearchCameras(DeviceRecord* records, int capacity, int* count, unsigned int timeoutMs) {
  if (count == nullptr) {
    SetLastError(err::kInvalidParam);
    return 1;
  }
  SearchResultList& results = Results();
  std::lock_guard<std::mutex> lock(results.lock);
  if (timeoutMs != 0) *count = 0;
  const int refreshed = RefreshLocked(results, timeoutMs);
  const auto found = static_cast<long long>(results.records.size());
  *count = static_cast<int>(found);
  if (refreshed != 0) return 1;
  if (records == nullptr || static_cast<long long>(capacity) < found) {
    SetLastError(err::kInvalidParam);
    return 1;
  }
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

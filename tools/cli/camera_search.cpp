#include "camera_search.h"

#include "error_names.h"

namespace vktcli {

namespace {

// Asks for the count only: with no array the library "fails" with
// VKT_ERR_INVALID_PARAM by design and sets the count (0 too when nothing
// answered); that is not an error here. -1 with `error` set otherwise.
int CountOnly(unsigned timeoutMs, int& error) {
  // -1 tells "the library set no count" apart from "no camera".
  int count = -1;
  if (VKT_SearchCamera(nullptr, 0, &count, timeoutMs) != 0) {
    error = VKT_GetLastError();
    if (error != VKT_ERR_INVALID_PARAM || count < 0) return -1;
  }
  error = 0;
  return count;
}

// Fetches the stored result (timeout 0: no new search). Nothing else in this
// process searches, but growing on a short buffer costs nothing.
SearchOutcome Fetch(int count) {
  SearchOutcome outcome;
  for (int attempt = 0; count > 0 && attempt < 3; ++attempt) {
    outcome.cameras.resize(static_cast<std::size_t>(count));
    int fetched = 0;
    if (VKT_SearchCamera(outcome.cameras.data(), count, &fetched, 0) == 0) {
      outcome.cameras.resize(static_cast<std::size_t>(fetched));
      outcome.ok = true;
      return outcome;
    }
    const int error = VKT_GetLastError();
    if (error != VKT_ERR_INVALID_PARAM || fetched <= count) {
      outcome.error = error;
      outcome.cameras.clear();
      return outcome;
    }
    count = fetched;
  }
  outcome.cameras.clear();
  if (count > 0) {
    outcome.error = VKT_ERR_INVALID_PARAM;
    return outcome;
  }
  outcome.ok = true;
  return outcome;
}

SearchOutcome CountThenFetch(unsigned timeoutMs) {
  int error = 0;
  const int count = CountOnly(timeoutMs, error);
  if (count < 0) {
    SearchOutcome failed;
    failed.error = error;
    return failed;
  }
  return Fetch(count);
}

}  // namespace

SearchOutcome SearchCameras(unsigned timeoutMs) { return CountThenFetch(timeoutMs); }

std::optional<std::vector<DeviceRecord>> SearchReporting(unsigned timeoutMs, std::string_view what, std::ostream& err) {
  SearchOutcome found = SearchCameras(timeoutMs);
  if (found.ok) return std::move(found.cameras);
  err << "vktcli: " << what << " failed: " << vkttools::DescribeError(found.error) << "\n";
  return std::nullopt;
}

SearchOutcome FetchStoredCameras() { return CountThenFetch(0); }

std::vector<std::string> SearchInterfaces(std::span<const DeviceRecord> cameras) {
  std::vector<std::string> names;
  names.reserve(cameras.size());
  for (const DeviceRecord& camera : cameras) {
    // The library promises 16 bytes are enough; more costs nothing.
    char name[64] = {};
    names.emplace_back(VKT_GetSearchInterface(&camera, name, sizeof name) == 0 ? name : "");
  }
  return names;
}

}  // namespace vktcli

#include "camera_search.h"

namespace vktcli {

SearchOutcome SearchCameras(unsigned timeoutMs) {
  SearchOutcome outcome;
  // -1 tells "the library set no count" apart from "no camera".
  int count = -1;
  // Search with no array to learn the count. The null array makes this
  // "fail" with VKT_ERR_INVALID_PARAM by design, with the count set (0 too
  // when nothing answered); that is not an error here.
  if (VKT_SearchCamera(nullptr, 0, &count, timeoutMs) != 0) {
    const int error = VKT_GetLastError();
    if (error != VKT_ERR_INVALID_PARAM || count < 0) {
      outcome.error = error;
      return outcome;
    }
  }
  // Fetch the stored result (timeout 0: no new search). Nothing else in this
  // process searches, but growing on a short buffer costs nothing.
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
  if (count > 0) {
    outcome.error = VKT_ERR_INVALID_PARAM;
    outcome.cameras.clear();
    return outcome;
  }
  outcome.cameras.clear();
  outcome.ok = true;
  return outcome;
}

}  // namespace vktcli

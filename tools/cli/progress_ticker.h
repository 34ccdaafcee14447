// The main thread of a long-running subcommand: waiting for its end while
// showing progress once a second.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "stop_request.h"

namespace vktcli {

// `interval`: seconds since the previous tick (or the start); `elapsed`:
// seconds since the start.
using ProgressTick = std::function<void(double interval, double elapsed)>;

// Calls `tick` once a second after `start` until `limit` has passed since
// it (none: no limit) or `stop` is requested; returns how long since `start`.
std::chrono::steady_clock::duration WaitWithProgress(StopRequest& stop, std::chrono::steady_clock::time_point start,
                                                     std::optional<std::chrono::steady_clock::duration> limit,
                                                     const ProgressTick& tick);

}  // namespace vktcli

#include "progress_ticker.h"

#include <algorithm>

namespace vktcli {

std::chrono::steady_clock::duration WaitWithProgress(StopRequest& stop, std::chrono::steady_clock::time_point start,
                                                     std::optional<std::chrono::steady_clock::duration> limit,
                                                     const ProgressTick& tick) {
  using Clock = std::chrono::steady_clock;
  const auto seconds = [](Clock::duration duration) { return std::chrono::duration<double>(duration).count(); };
  std::optional<Clock::time_point> end;
  if (limit) end = start + *limit;
  Clock::time_point nextTick = start + std::chrono::seconds(1);
  Clock::time_point lastTick = start;
  Clock::time_point now = start;
  for (;;) {
    const Clock::time_point wakeAt = end ? std::min(nextTick, *end) : nextTick;
    const bool stopped = stop.WaitUntil(wakeAt);
    now = Clock::now();
    if (stopped || (end && now >= *end)) break;
    if (now < nextTick) continue;
    tick(seconds(now - lastTick), seconds(now - start));
    lastTick = now;
    // A late wake-up skips ticks rather than showing several at once.
    while (nextTick <= now) nextTick += std::chrono::seconds(1);
  }
  return now - start;
}

}  // namespace vktcli

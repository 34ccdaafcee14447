#include "status_line.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

namespace vktcli {

bool IsTerminalStream(const std::ostream& stream) {
  if (&stream == &std::cerr) return isatty(STDERR_FILENO) == 1;
  if (&stream == &std::cout) return isatty(STDOUT_FILENO) == 1;
  return false;
}

void StatusLine::Show(const std::string& line) {
  if (!terminal_) {
    out_ << line << "\n" << std::flush;
    return;
  }
  out_ << "\r" << line;
  // Blanks over the rest of a longer line shown before.
  if (line.size() < shownLength_) out_ << std::string(shownLength_ - line.size(), ' ');
  out_ << std::flush;
  shownLength_ = line.size();
}

void StatusLine::Finish() {
  if (terminal_ && shownLength_ > 0) out_ << "\n" << std::flush;
  shownLength_ = 0;
}

std::chrono::steady_clock::duration ShowProgress(StopRequest& stop, std::chrono::steady_clock::time_point start,
                                                 std::optional<unsigned> seconds, std::ostream& err,
                                                 const ProgressLine& line) {
  using Clock = std::chrono::steady_clock;
  const auto inSeconds = [](Clock::duration duration) { return std::chrono::duration<double>(duration).count(); };
  StatusLine status(err, IsTerminalStream(err));
  std::optional<Clock::time_point> end;
  if (seconds) end = start + std::chrono::seconds(*seconds);
  Clock::time_point nextTick = start + std::chrono::seconds(1);
  Clock::time_point lastTick = start;
  Clock::time_point now = start;
  for (;;) {
    const Clock::time_point wakeAt = end ? std::min(nextTick, *end) : nextTick;
    const bool stopped = stop.WaitUntil(wakeAt);
    now = Clock::now();
    if (stopped || (end && now >= *end)) break;
    if (now < nextTick) continue;
    status.Show(line(inSeconds(now - lastTick), inSeconds(now - start)));
    lastTick = now;
    // A late wake-up skips ticks rather than showing several at once.
    while (nextTick <= now) nextTick += std::chrono::seconds(1);
  }
  status.Finish();
  return now - start;
}

}  // namespace vktcli

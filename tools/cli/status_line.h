// Progress on standard error: a status line that is rewritten in place on a
// terminal ("\r") and printed as one line per update anywhere else, so logs
// stay readable; and the main thread of a long-running subcommand waiting
// for its end while showing a line once a second.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "stop_request.h"

namespace vktcli {

// Whether `stream` is std::cout or std::cerr and that is a terminal.
bool IsTerminalStream(const std::ostream& stream);

class StatusLine {
 public:
  StatusLine(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  void Show(const std::string& line);
  // Ends a line rewritten in place, so what follows starts on its own line.
  void Finish();

 private:
  std::ostream& out_;
  const bool terminal_;
  std::size_t shownLength_ = 0;  // of the line on screen, 0 when none
};

// The line to show: `interval` is the seconds since the previous one (or
// the start), `elapsed` those since the start.
using ProgressLine = std::function<std::string(double interval, double elapsed)>;

// Shows `line` on a StatusLine of `err` once a second after `start` until
// `seconds` have passed since it (none: no limit) or `stop` is requested;
// returns how long since `start`.
std::chrono::steady_clock::duration ShowProgress(StopRequest& stop, std::chrono::steady_clock::time_point start,
                                                 std::optional<unsigned> seconds, std::ostream& err,
                                                 const ProgressLine& line);

}  // namespace vktcli

#include "status_line.h"

#include <unistd.h>

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

}  // namespace vktcli

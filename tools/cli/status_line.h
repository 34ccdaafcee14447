// A status line that is rewritten in place on a terminal ("\r") and printed
// as one line per update anywhere else, so logs stay readable.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

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

}  // namespace vktcli

// The actions of "vktcli sd" that take more than one camera call, each in a
// file of its own; sd_command.cpp parses the command line and calls them.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "camera_session.h"

namespace vktcli {

struct FormatRequest {
  CameraTarget target;
  std::chrono::seconds wait{0};  // how long the format may take in all
  bool json = false;
};

// Starts the format, shows its progress until it reaches 100 or the wait is
// over, then prints the card's state. Returns the exit code.
int RunCardFormat(const FormatRequest& request, std::ostream& out, std::ostream& err);

struct PullRequest {
  CameraTarget target;
  std::string path;       // a NormalCameraPath
  std::string directory;  // the local one
  bool json = false;
};

// Lists `path` and writes each picture in it to a file of the same name in
// `directory`, with progress; a picture that fails is reported and the rest
// are still pulled. Returns the exit code.
int RunCardPull(const PullRequest& request, std::ostream& out, std::ostream& err);

}  // namespace vktcli

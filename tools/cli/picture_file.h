// Writing a received picture to a file.
#pragma once

#include <span>
#include <string>

namespace vktcli {

// Creates or replaces `path` with `bytes`. On failure returns false and sets
// `error` to "PATH: reason".
bool WritePictureFile(const std::string& path, std::span<const char> bytes, std::string& error);

}  // namespace vktcli

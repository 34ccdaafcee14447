// Writing received pictures to files.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>

namespace vktcli {

// Creates or replaces `path` with `bytes`. On failure returns false and sets
// `error` to "PATH: reason".
bool WritePictureFile(const std::string& path, std::span<const char> bytes, std::string& error);

// Makes `directory` when missing. False (and `err` told) when that fails or
// something else has the name.
bool PrepareDirectory(const std::filesystem::path& directory, std::ostream& err);

}  // namespace vktcli

#include "picture_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace vktcli {

bool WritePictureFile(const std::string& path, std::span<const char> bytes, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const std::size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  const int writeErrno = errno;
  // A full disk often shows only when the buffer is flushed, so fclose counts.
  const bool closed = std::fclose(file) == 0;
  if (written != bytes.size() || !closed) {
    error = path + ": " + std::strerror(written != bytes.size() ? writeErrno : errno);
    return false;
  }
  return true;
}

bool PrepareDirectory(const std::filesystem::path& directory, std::ostream& err) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (!error && std::filesystem::is_directory(directory, error)) return true;
  err << "vktcli: cannot use " << directory.string() << " as the directory for pictures"
      << (error ? ": " + error.message() : std::string()) << "\n";
  return false;
}

}  // namespace vktcli

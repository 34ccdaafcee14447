#include "json_input.h"

#include <filesystem>
#include <fstream>

#include "format.h"

namespace vktcli {

std::optional<std::string> ReadBounded(std::istream& in, std::size_t limit, std::string& error) {
  std::string text;
  char buffer[4096];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > limit) {
      error = "more than " + std::to_string(limit) + " bytes of input";
      return std::nullopt;
    }
  }
  if (in.bad() || (in.fail() && !in.eof())) {
    error = "cannot read the input";
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> ReadJsonFile(std::string_view path, std::istream& standardInput, std::string& error) {
  if (path == "-") {
    std::optional<std::string> text = ReadBounded(standardInput, kMaxJsonInput, error);
    if (!text) error = "standard input: " + error;
    return text;
  }
  // A directory opens as a stream on Linux and then reads as empty.
  std::error_code ignored;
  if (std::filesystem::is_directory(std::filesystem::path(path), ignored)) {
    error = Quoted(path) + " is a directory";
    return std::nullopt;
  }
  std::ifstream file{std::string(path), std::ios::binary};
  if (!file) {
    error = "cannot open " + Quoted(path);
    return std::nullopt;
  }
  std::optional<std::string> text = ReadBounded(file, kMaxJsonInput, error);
  if (!text) error = Quoted(path) + ": " + error;
  return text;
}

}  // namespace vktcli

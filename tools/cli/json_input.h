// Where "vktcli set NAME --json ..." takes its JSON from: the argument
// itself, a file, or standard input ("-").
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace vktcli {

// Larger input is refused: nothing vktcli reads comes anywhere near it, and
// reading without a bound from /dev/zero or a stray pipe would never end.
inline constexpr std::size_t kMaxJsonInput = 1 << 20;

// All of `in`, at most `limit` bytes. nullopt (with `error`) when there is
// more or reading fails.
std::optional<std::string> ReadBounded(std::istream& in, std::size_t limit, std::string& error);

// `path` "-" reads `standardInput`, anything else names a file.
std::optional<std::string> ReadJsonFile(std::string_view path, std::istream& standardInput, std::string& error);

}  // namespace vktcli

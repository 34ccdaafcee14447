// vktcli's JSON on nlohmann-json: documents are built as nlohmann values and
// written in vktcli's one-line style ({"a": 1, "b": [1, 2]}), and what the
// user gives is read strictly: from the argument itself, a file, or
// standard input ("-").
#pragma once

#include <cstddef>
#include <initializer_list>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vktcli {

// Members keep the order they were added in: the output is read by people too.
using Json = nlohmann::ordered_json;

// Body of a JSON string (without the quotes). Bytes outside ASCII are taken
// as Latin-1, as cameras send their texts, and written as \u00XX, so the
// output is plain ASCII whatever the camera sent.
std::string JsonEscape(std::string_view text);

// A JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);

// A member whose fraction shows a fixed count of decimals ("fps": 25.00), as
// in the text output; other numbers print in nlohmann's shortest form.
struct FixedDecimals {
  std::string_view key;
  int decimals;
};

// `value` on one line, ", " and ": " between the parts, no newline.
std::string JsonLine(const Json& value, std::initializer_list<FixedDecimals> fixed = {});

// An array with one element per line, ending with a newline; "[]\n" when
// empty.
std::string JsonArrayLines(const Json& array);

// "a number", "an array", "null", ... for messages.
std::string JsonTypeName(const Json& value);

struct JsonParse {
  std::optional<Json> value;
  std::string error;  // empty on success
};

// One JSON value, surrounded by nothing but white space. Objects with a
// repeated member name are refused, since which one counts is ambiguous.
JsonParse ParseJson(std::string_view text);

// Larger input is refused: nothing vktcli reads comes anywhere near it, and
// reading without a bound from /dev/zero or a stray pipe would never end.
inline constexpr std::size_t kMaxJsonInput = 1 << 20;

// All of `in`, at most `limit` bytes. nullopt (with `error`) when there is
// more or reading fails.
std::optional<std::string> ReadBounded(std::istream& in, std::size_t limit, std::string& error);

// `path` "-" reads `standardInput`, anything else names a file.
std::optional<std::string> ReadJsonFile(std::string_view path, std::istream& standardInput, std::string& error);

}  // namespace vktcli

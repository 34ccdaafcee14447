// A small JSON reader and writer, enough for the flat objects vktcli prints
// and reads back (numbers, strings, arrays of them). The reader takes any
// JSON text but keeps numbers as their literal, so callers decide which
// numbers they accept; it never throws on bad input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vktcli {

struct JsonValue {
  enum class Type { Null, Boolean, Number, String, Array, Object };

  Type type = Type::Null;
  bool boolean = false;
  std::string text;              // Number: the literal; String: the decoded text (UTF-8)
  std::vector<JsonValue> items;  // Array: the elements; Object: the member values
  std::vector<std::string> keys; // Object: the member names, parallel to items

  // The member named `key` of an object, nullptr when absent or not an object.
  const JsonValue* Find(std::string_view key) const;
};

// "a number", "an array", "null", ... for messages.
std::string_view JsonTypeName(JsonValue::Type type);

struct JsonParseResult {
  std::optional<JsonValue> value;
  std::string error;  // empty on success; names the offset of the problem
  bool ok() const { return value.has_value(); }
};

// One JSON value, surrounded by nothing but white space. Objects with a
// repeated member name are refused, since which one counts is ambiguous.
// Nesting deeper than kJsonMaxDepth is refused so no input can exhaust the
// stack.
inline constexpr int kJsonMaxDepth = 32;
JsonParseResult ParseJson(std::string_view text);

// A number without fraction or exponent that fits int64, else nullopt.
std::optional<std::int64_t> JsonInteger(const JsonValue& value);

// A JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);

// Builds one object on one line: {"a": 1, "b": "x"}.
class JsonObjectWriter {
 public:
  JsonObjectWriter& Number(std::string_view key, std::int64_t value);
  JsonObjectWriter& String(std::string_view key, std::string_view value);
  JsonObjectWriter& Boolean(std::string_view key, bool value);
  JsonObjectWriter& Null(std::string_view key);
  // `json` must already be valid JSON (an array built by the caller, say).
  JsonObjectWriter& Raw(std::string_view key, std::string_view json);

  std::string Finish() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

}  // namespace vktcli

// Command-line parsing: "--name value", "--name=value" and plain "--flag"
// options, positional words where a subcommand wants them, plus the value
// parsers the subcommands share.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vktcli {

struct OptionDef {
  std::string_view name;  // without the leading "--"
  bool takesValue;
  bool repeatable = false;  // may be given more than once (values() has each)
};

struct ParsedOptions {
  bool help = false;  // --help or -h was given; nothing else is checked then
  std::map<std::string, std::string, std::less<>> values;  // flags map to ""; the first value
  std::vector<std::pair<std::string, std::string>> given;  // every option, in order
  std::vector<std::string> positionals;  // in order; only with allowPositionals

  bool Has(std::string_view name) const;
  std::optional<std::string_view> Get(std::string_view name) const;
  // Every value of a repeatable option, in command-line order.
  std::vector<std::string> GetAll(std::string_view name) const;
};

struct ParseResult {
  ParsedOptions options;
  std::string error;  // empty on success
  bool ok() const { return error.empty(); }
};

// Rejects unknown options, repeated options (unless repeatable), missing
// values, and positional arguments unless `allowPositionals`; then every word
// that does not start with "--" (a negative number too) is one. `args`
// excludes the program and subcommand names.
ParseResult ParseOptions(std::span<const std::string_view> args,
                         std::span<const OptionDef> definitions,
                         bool allowPositionals = false);

// A whole number: decimal ("42", "-7") or hexadecimal with 0x ("0x1F",
// "-0x10"). No blanks, no '+', no leading zeros in decimal (some tools read
// them as octal). nullopt when malformed or outside int64.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// ParseInteger limited to the range of a 32-bit signed word.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// Decimal milliseconds that fit an unsigned int.
std::optional<unsigned> ParseMilliseconds(std::string_view text);

// The value of a millisecond option, `fallback` when absent. Values below
// `minimum` are refused. On failure returns nullopt and sets `error`.
std::optional<unsigned> MillisecondsOption(const ParsedOptions& options, std::string_view name,
                                           unsigned fallback, unsigned minimum, std::string& error);

// Strict dotted quad ("192.168.1.10"; no leading zeros, no shorthand).
// Returns the address as it lies in a record: network byte order.
std::optional<std::uint32_t> ParseIPv4(std::string_view text);

// "00:1C:27:00:00:10" or "00-1c-27-00-00-10", any letter case.
std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text);

}  // namespace vktcli

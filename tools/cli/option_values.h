// The values of vktcli's options and words. CLI11 splits the command line;
// the values are read here, more strictly than CLI11's conversions would
// (those take octal, a '+' and 0x where vktcli refuses them), and with
// vktcli's messages.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vktcli {

// A mistake in what the user typed: vktcli shows it with the command's help
// and exits with kExitUsage.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A whole number: decimal ("42", "-7") or hexadecimal with 0x ("0x1F",
// "-0x10"). No blanks, no '+', no leading zeros in decimal (some tools read
// them as octal). nullopt when malformed or outside int64.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// ParseInteger limited to the range of a 32-bit signed word.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// Decimal digits only, that fit an unsigned int.
std::optional<unsigned> ParseMilliseconds(std::string_view text);

// Strict dotted quad ("192.168.1.10"; no leading zeros, no shorthand).
// Returns the address as it lies in a record: network byte order.
std::optional<std::uint32_t> ParseIPv4(std::string_view text);

// "00:1C:27:00:00:10" or "00-1c-27-00-00-10", any letter case.
std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text);

// The readers of one option's text below take the name without "--" and
// throw UsageError with the message users see.

// Milliseconds of at least `minimum`; `fallback` when the option was not given.
unsigned MillisecondsOption(const std::optional<std::string>& text, std::string_view name, unsigned fallback,
                            unsigned minimum);

// A count of at least 1 of `what` ("seconds"; "" for a plain count).
unsigned PositiveOption(const std::string& text, std::string_view name, std::string_view what);

// A 32-bit number; `what` names it in the message ("a number").
std::int32_t Int32Option(const std::string& text, std::string_view name, std::string_view what = "a number");

// A dotted quad; `what` names it in the message ("an IPv4 address").
std::uint32_t IPv4Option(const std::string& text, std::string_view name, std::string_view what = "an IPv4 address");

}  // namespace vktcli

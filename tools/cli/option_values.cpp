#include "option_values.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "format.h"

namespace vktcli {

std::optional<unsigned> ParseMilliseconds(std::string_view text) {
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (text.starts_with('-')) {
    negative = true;
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text.front() == '0') {
    return std::nullopt;
  }
  // from_chars would take a second sign; the digits must start right here.
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (!negative) {
    if (magnitude > kMax) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
  }
  if (magnitude > kMax + 1) return std::nullopt;
  return magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min()
                               : -static_cast<std::int64_t>(magnitude);
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  const std::optional<std::int64_t> value = ParseInteger(text);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(*value);
}

std::optional<std::uint32_t> ParseIPv4(std::string_view text) {
  std::uint8_t bytes[4];
  for (int part = 0; part < 4; ++part) {
    std::size_t len = 0;
    while (len < text.size() && text[len] >= '0' && text[len] <= '9') ++len;
    // Leading zeros are refused: some tools read them as octal.
    if (len == 0 || len > 3 || (len > 1 && text[0] == '0')) return std::nullopt;
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + len, value);
    if (value > 255) return std::nullopt;
    bytes[part] = static_cast<std::uint8_t>(value);
    text.remove_prefix(len);
    if (part < 3) {
      if (text.empty() || text.front() != '.') return std::nullopt;
      text.remove_prefix(1);
    }
  }
  if (!text.empty()) return std::nullopt;
  std::uint32_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

std::optional<std::array<std::uint8_t, 6>> ParseMac(std::string_view text) {
  if (text.size() != 17) return std::nullopt;
  const char separator = text[2];
  if (separator != ':' && separator != '-') return std::nullopt;
  std::array<std::uint8_t, 6> mac{};
  for (std::size_t i = 0; i < 6; ++i) {
    std::string_view group = text.substr(i * 3, 2);
    if (i < 5 && text[i * 3 + 2] != separator) return std::nullopt;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(group.data(), group.data() + 2, value, 16);
    if (ec != std::errc() || end != group.data() + 2) return std::nullopt;
    mac[i] = static_cast<std::uint8_t>(value);
  }
  return mac;
}

namespace {

// "--extra needs a 32-bit number, not 'x'"
UsageError NeedsError(std::string_view name, std::string_view what, const std::string& text) {
  return UsageError("--" + std::string(name) + " needs " + std::string(what) + ", not " + Quoted(text));
}

}  // namespace

unsigned MillisecondsOption(const std::optional<std::string>& text, std::string_view name, unsigned fallback,
                            unsigned minimum) {
  if (!text) return fallback;
  const std::optional<unsigned> value = ParseMilliseconds(*text);
  if (!value || *value < minimum) {
    const std::string least = minimum > 0 ? " of at least " + std::to_string(minimum) : "";
    throw NeedsError(name, "a whole number of milliseconds" + least, *text);
  }
  return *value;
}

unsigned PositiveOption(const std::string& text, std::string_view name, std::string_view what) {
  const std::optional<unsigned> value = ParseMilliseconds(text);
  if (!value || *value == 0) {
    const std::string of = what.empty() ? "" : "of " + std::string(what) + " ";
    throw NeedsError(name, "a whole number " + of + "of at least 1", text);
  }
  return *value;
}

std::int32_t Int32Option(const std::string& text, std::string_view name, std::string_view what) {
  const std::optional<std::int32_t> value = ParseInt32(text);
  if (!value) throw NeedsError(name, what, text);
  return *value;
}

std::uint32_t IPv4Option(const std::string& text, std::string_view name, std::string_view what) {
  const std::optional<std::uint32_t> value = ParseIPv4(text);
  if (!value) throw NeedsError(name, what, text);
  return *value;
}

}  // namespace vktcli

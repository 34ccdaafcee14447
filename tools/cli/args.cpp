#include "args.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace vktcli {

bool ParsedOptions::Has(std::string_view name) const {
  return values.find(name) != values.end();
}

std::optional<std::string_view> ParsedOptions::Get(std::string_view name) const {
  auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  return std::string_view(it->second);
}

std::vector<std::string> ParsedOptions::GetAll(std::string_view name) const {
  std::vector<std::string> all;
  for (const auto& [option, value] : given) {
    if (option == name) all.push_back(value);
  }
  return all;
}

ParseResult ParseOptions(std::span<const std::string_view> args,
                         std::span<const OptionDef> definitions,
                         bool allowPositionals) {
  ParseResult result;
  // Help wins over everything else so "vktcli search --bogus --help" still helps.
  for (std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") {
      result.options.help = true;
      return result;
    }
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (allowPositionals && !arg.starts_with("--")) {
      result.options.positionals.emplace_back(arg);
      continue;
    }
    if (!arg.starts_with("--") || arg.size() == 2) {
      result.error = "unexpected argument '" + std::string(arg) + "'";
      return result;
    }
    std::string_view name = arg.substr(2);
    std::optional<std::string_view> inlineValue;
    if (auto eq = name.find('='); eq != std::string_view::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const OptionDef* def = nullptr;
    for (const OptionDef& candidate : definitions) {
      if (candidate.name == name) def = &candidate;
    }
    if (def == nullptr) {
      result.error = "unknown option '--" + std::string(name) + "'";
      return result;
    }
    if (result.options.Has(name) && !def->repeatable) {
      result.error = "option '--" + std::string(name) + "' given more than once";
      return result;
    }
    std::string value;
    if (def->takesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        result.error = "option '--" + std::string(name) + "' needs a value";
        return result;
      }
    } else if (inlineValue) {
      result.error = "option '--" + std::string(name) + "' takes no value";
      return result;
    }
    result.options.given.emplace_back(std::string(name), value);
    result.options.values.emplace(std::string(name), std::move(value));
  }
  return result;
}

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

std::optional<unsigned> MillisecondsOption(const ParsedOptions& options, std::string_view name,
                                           unsigned fallback, unsigned minimum, std::string& error) {
  const std::optional<std::string_view> text = options.Get(name);
  if (!text) return fallback;
  const std::optional<unsigned> value = ParseMilliseconds(*text);
  if (!value || *value < minimum) {
    error = "--" + std::string(name) + " needs a whole number of milliseconds";
    if (minimum > 0) error += " of at least " + std::to_string(minimum);
    error += ", not '" + std::string(*text) + "'";
    return std::nullopt;
  }
  return value;
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

}  // namespace vktcli

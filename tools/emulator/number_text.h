// Numbers and switches typed on the control channel.
#pragma once

#include <charconv>
#include <string_view>

namespace vktemu {

// The whole text as a number within [low, high].
template <typename T>
bool parseNumber(std::string_view text, T low, T high, T& out) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) return false;
  out = value;
  return true;
}

inline bool parseInt(std::string_view text, int low, int high, int& out) { return parseNumber(text, low, high, out); }

inline bool parseBool(std::string_view text, bool& out) {
  if (text == "1" || text == "true" || text == "on" || text == "yes") return out = true, true;
  if (text == "0" || text == "false" || text == "off" || text == "no") return out = false, true;
  return false;
}

}  // namespace vktemu

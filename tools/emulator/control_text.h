// What the control channel and the command line read and write as text:
// numbers, switches, hex bytes, and the faults of every channel by name.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator.h"

namespace vktemu {

// The whole text as a number within [low, high] (so never NaN).
template <typename T>
bool parseNumber(std::string_view text, T low, T high, T& out) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || !(value >= low && value <= high)) return false;
  out = value;
  return true;
}

// 1/true/on/yes and 0/false/off/no.
bool parseBool(std::string_view text, bool& out);

std::string hex(std::span<const uint8_t> bytes);  // lower case, two digits a byte
std::optional<std::vector<uint8_t>> parseHex(std::string_view text);

// A fault set by name, as the control channel's fault, cfault, pfault and
// sfault commands take it; the names are the fields of the faults' struct
// in emulator.h. Switches take what parseBool() does, numbers must lie in
// the field's range, and the optional fields take "none" to unset. False
// with a message ("unknown <kind> NAME", "bad value VALUE for NAME") for an
// unknown name or a bad value; `faults` is then unchanged.
bool setFault(DiscoveryFaults& faults, std::string_view name, std::string_view value, std::string* error);
bool setFault(CommandFaults& faults, std::string_view name, std::string_view value, std::string* error);
bool setFault(PushFaults& faults, std::string_view name, std::string_view value, std::string* error);
bool setFault(StreamFaults& faults, std::string_view name, std::string_view value, std::string* error);

// "name=value" for every discovery fault, space separated, switches as 0/1.
std::string showFaults(const DiscoveryFaults& faults);

}  // namespace vktemu

// The control channel's commands on the SD card: sd <id> state | ls [path] |
// add <path> <size> | get <path> | clear | card on|off | formattime <ms> |
// listing <hex>|none.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "control_commands.h"
#include "number_text.h"
#include "sd_card.h"
#include "sd_pictures.h"

namespace vktemu {
namespace {

constexpr int kMaxFormatMs = 3600000;
constexpr int kAddedWidth = 160;
constexpr int kAddedHeight = 120;

std::string error(std::string_view text) { return "error " + std::string(text) + "\n"; }

std::string hex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::vector<uint8_t>> parseHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return out;
}

}  // namespace

std::string ControlCommands::sdCard(std::span<const std::string_view> args) {
  if (args.size() < 2) return error("wrong number of arguments for sd");
  int id = 0;
  if (!cameraId(args[0], id)) return error("unknown camera " + std::string(args[0]));
  const std::string_view what = args[1];
  const auto rest = args.subspan(2);
  if (what == "state" && rest.empty()) return sdState(id);
  if (what == "ls" && rest.size() <= 1) return sdList(id, rest.empty() ? std::string_view("/") : rest[0]);
  if (what == "add" && rest.size() == 2) return sdAdd(id, rest[0], rest[1]);
  if (what == "get" && rest.size() == 1) {
    const auto bytes = emulator_.storedPicture(id, std::string(rest[0]));
    if (!bytes) return error("no picture " + std::string(rest[0]));
    return "ok bytes=" + std::to_string(bytes->size()) + " hex=" + hex(*bytes) + "\n";
  }
  if (what == "clear" && rest.empty()) {
    emulator_.clearStoredPictures(id);
    return "ok\n";
  }
  if (what == "card" && rest.size() == 1) {
    if (rest[0] != "on" && rest[0] != "off") return error("expected on or off, got " + std::string(rest[0]));
    emulator_.setSdCardPresent(id, rest[0] == "on");
    return "ok\n";
  }
  if (what == "formattime" && rest.size() == 1) {
    int ms = 0;
    if (!parseInt(rest[0], 0, kMaxFormatMs, ms)) return error("bad format time " + std::string(rest[0]));
    emulator_.setFormatDuration(id, std::chrono::milliseconds(ms));
    return "ok\n";
  }
  if (what == "listing" && rest.size() == 1) {
    if (rest[0] == "none") {
      emulator_.setListingOverride(id, std::nullopt);
      return "ok\n";
    }
    auto bytes = parseHex(rest[0]);
    if (!bytes) return error("bad hex " + std::string(rest[0]));
    emulator_.setListingOverride(id, std::move(*bytes));
    return "ok\n";
  }
  if (what == "state" || what == "ls" || what == "add" || what == "get" || what == "clear" || what == "card" ||
      what == "formattime" || what == "listing")
    return error("wrong number of arguments for sd " + std::string(what));
  return error("unknown sd command " + std::string(what));
}

std::string ControlCommands::sdState(int id) const {
  const auto state = emulator_.sdCardState(id);
  return "ok status=" + std::to_string(state.status) + " capacity=" + std::to_string(state.capacityMiB) +
         " free=" + std::to_string(state.freeMiB) + " pictures=" + std::to_string(emulator_.storedPictures(id).size()) +
         " formats=" + std::to_string(emulator_.formatCount(id)) + "\n";
}

std::string ControlCommands::sdList(int id, std::string_view path) const {
  const auto state = emulator_.sdCardState(id);
  if (state.status == SdCard::kNoCard) return error("no card");
  if (state.status == SdCard::kFormatting) return error("card formatting");
  const auto entries = emulator_.storedDirectory(id, std::string(path));
  if (!entries) return error("no directory " + std::string(path));
  std::string out = "ok " + std::to_string(entries->size()) + "\n";
  for (const auto& entry : *entries) out += std::to_string(entry.value) + " " + entry.name + "\n";
  return out + ".\n";
}

std::string ControlCommands::sdAdd(int id, std::string_view path, std::string_view sizeText) {
  size_t size = 0;
  if (!parseNumber(sizeText, size_t{0}, SdCard::kMaxBytes, size))
    return error("bad size " + std::string(sizeText) + " (0.." + std::to_string(SdCard::kMaxBytes) + ")");
  const auto number = static_cast<uint32_t>(emulator_.storedPictures(id).size() + 1);
  std::string why;
  auto bytes = sdJpeg(id, number, kAddedWidth, kAddedHeight, size, &why);
  if (!bytes) return error(why);
  const size_t stored = bytes->size();
  try {
    emulator_.addStoredPicture(id, std::string(path), std::move(*bytes));
  } catch (const std::invalid_argument&) {
    return error("bad path " + std::string(path) + " (/DIRECTORY/NAME)");
  }
  return "ok bytes=" + std::to_string(stored) + "\n";
}

}  // namespace vktemu

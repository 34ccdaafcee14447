#include "camera_text.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "wire.h"

namespace vktemu {
namespace {

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

std::optional<uint32_t> parseWordAddress(std::string_view text) {
  const auto address = wire::parseIpv4(std::string(text));
  if (!address) return std::nullopt;
  uint32_t raw = 0;
  std::memcpy(&raw, address->data(), 4);
  return raw;
}

bool applyKey(std::string_view key, std::string_view value, CameraConfig& camera, std::string* error) {
  std::string quoted = "'";
  quoted.append(key).append("=").append(value).append("'");
  if (key == "ip" || key == "address") {
    if (!wire::parseIpv4(std::string(value))) return fail(error, "bad IPv4 address in " + quoted);
    camera.address = std::string(value);
  } else if (key == "mac") {
    const auto mac = parseMac(value);
    if (!mac) return fail(error, "bad MAC address in " + quoted);
    camera.mac = *mac;
  } else if (key == "model") {
    camera.model = std::string(value);
  } else if (key == "port") {
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
    if (ec != std::errc{} || end != value.data() + value.size() || port == 0 || port > 65535)
      return fail(error, "bad port in " + quoted);
    camera.commandPort = static_cast<uint16_t>(port);
  } else if (key == "name") {
    camera.infoText2 = std::string(value);
  } else if (key == "fw") {
    camera.infoText1 = std::string(value);
  } else if (key == "mask" || key == "gateway") {
    const auto word = parseWordAddress(value);
    if (!word) return fail(error, "bad IPv4 address in " + quoted);
    (key == "mask" ? camera.addressWord1 : camera.addressWord2) = *word;
  } else {
    return fail(error, "unknown key in " + quoted);
  }
  return true;
}

}  // namespace

bool parseCameraText(std::string_view text, CameraConfig& camera, std::string* error) {
  CameraConfig parsed = camera;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view item = trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (item.empty()) continue;
    const auto equals = item.find('=');
    if (equals == std::string_view::npos) return fail(error, "expected key=value, got '" + std::string(item) + "'");
    if (!applyKey(trim(item.substr(0, equals)), trim(item.substr(equals + 1)), parsed, error)) return false;
  }
  camera = parsed;
  return true;
}

bool loadCameraFile(const std::string& path, std::vector<CameraConfig>& cameras, std::string* error) {
  std::ifstream in(path);
  if (!in) return fail(error, "cannot read " + path);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::string_view text = line;
    text = trim(text.substr(0, text.find('#')));
    if (text.empty()) continue;
    CameraConfig camera;
    std::string why;
    if (!parseCameraText(text, camera, &why)) return fail(error, path + ":" + std::to_string(number) + ": " + why);
    cameras.push_back(camera);
  }
  return true;
}

std::optional<Mac> parseMac(std::string_view text) {
  Mac mac{};
  size_t at = 0;
  for (size_t i = 0; i < mac.size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || (text[at] != ':' && text[at] != '-')) return std::nullopt;
      ++at;
    }
    if (at + 2 > text.size()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + 2, mac[i], 16);
    if (ec != std::errc{} || end != text.data() + at + 2) return std::nullopt;
    at += 2;
  }
  if (at != text.size()) return std::nullopt;
  return mac;
}

std::string formatMac(const Mac& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

}  // namespace vktemu

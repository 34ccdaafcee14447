#include "format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "json_text.h"

namespace vktcli {

std::string FormatMac(std::span<const std::uint8_t, 6> mac) {
  char buffer[18];
  std::snprintf(buffer, sizeof buffer, "%02x:%02x:%02x:%02x:%02x:%02x",
                mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return buffer;
}

std::string FormatIPv4(std::uint32_t networkOrderWord) {
  // Network order means the bytes lie in memory most significant first.
  std::uint8_t bytes[4];
  std::memcpy(bytes, &networkOrderWord, sizeof bytes);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return buffer;
}

bool IsUnicastAddress(std::uint32_t networkOrderWord) {
  std::uint8_t first;
  std::memcpy(&first, &networkOrderWord, 1);  // network order: first octet first
  return first != 0 && first < 224;
}

unsigned CommandPort(const DeviceRecord& record) {
  return static_cast<std::uint32_t>(record.commandPort) & 0xFFFFu;
}

std::string_view FieldText(const char* field, std::size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : size;
  return std::string_view(field, length);
}

std::string FormatFixed(double number, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, number);
  return buffer;
}

std::string RatesText(std::uint64_t count, std::string_view what, std::uint64_t bytes, double seconds) {
  const auto perSecond = [seconds](double amount) { return seconds > 0 ? amount / seconds : 0.0; };
  return FormatFixed(perSecond(static_cast<double>(count)), 1) + " " + std::string(what) + "/s; " +
         FormatFixed(perSecond(static_cast<double>(bytes) / 1e6), 2) + " MB/s";
}

std::string FormatHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string AlignedColumns(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const std::vector<std::string>& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out;
  for (const std::vector<std::string>& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += (c > 0 ? "  " : "") + row[c];
      line.append(widths[c] - row[c].size(), ' ');
    }
    // Padding the last columns would only leave trailing blanks.
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
  }
  return out;
}

std::string Printable(std::string_view text) {
  std::string out(text);
  std::ranges::replace_if(out, [](unsigned char u) { return u < 0x20 || u > 0x7E; }, '?');
  return out;
}

std::string Quoted(std::string_view text) { return std::string(1, '\'').append(Printable(text)).append(1, '\''); }

namespace {

// The interface column sits with the address columns, before the free texts.
constexpr std::size_t kInterfaceColumn = 6;

std::vector<std::string> TableRow(const DeviceRecord& camera) {
  return {FormatIPv4(camera.ipAddress),
          FormatMac(camera.macAddress),
          Printable(FieldText(camera.modelName)),
          std::to_string(CommandPort(camera)),
          FormatIPv4(camera.addressWord1),
          FormatIPv4(camera.addressWord2),
          Printable(FieldText(camera.infoText1)),
          Printable(FieldText(camera.infoText2))};
}

}  // namespace

std::string FormatCameraTable(std::span<const DeviceRecord> cameras, std::span<const std::string> interfaces) {
  const bool withInterface = !interfaces.empty();
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"IP", "MAC", "MODEL", "PORT", "NETMASK", "GATEWAY", "INFO1", "INFO2"});
  if (withInterface) rows.back().insert(rows.back().begin() + kInterfaceColumn, "INTERFACE");
  for (std::size_t i = 0; i < cameras.size(); ++i) {
    rows.push_back(TableRow(cameras[i]));
    if (withInterface) {
      const std::string name = i < interfaces.size() && !interfaces[i].empty() ? Printable(interfaces[i]) : "-";
      rows.back().insert(rows.back().begin() + kInterfaceColumn, name);
    }
  }
  return AlignedColumns(rows);
}

std::string FormatCameraDetails(const DeviceRecord& camera) {
  std::ostringstream out;
  auto line = [&out](std::string_view name, const std::string& value) {
    out << "  " << name << std::string(14 - name.size(), ' ') << value << "\n";
  };
  line("address", FormatIPv4(camera.ipAddress));
  line("mac", FormatMac(camera.macAddress));
  line("model", Printable(FieldText(camera.modelName)));
  line("command port", std::to_string(CommandPort(camera)));
  line("word1", FormatIPv4(camera.addressWord1));
  line("word2", FormatIPv4(camera.addressWord2));
  line("info text 1", Printable(FieldText(camera.infoText1)));
  line("info text 2", Printable(FieldText(camera.infoText2)));
  std::string words;
  for (std::int32_t w : camera.infoWords) {
    if (!words.empty()) words += ' ';
    words += std::to_string(w);
  }
  line("info words", words);
  line("info block", FormatHex(std::span(camera.infoBlock).first(32)));
  line("", FormatHex(std::span(camera.infoBlock).last(32)));
  line("tail words", std::to_string(camera.tailWord1) + " " + std::to_string(camera.tailWord2));
  return out.str();
}

std::string FormatCameraJson(std::span<const DeviceRecord> cameras, std::span<const std::string> interfaces) {
  Json list = Json::array();
  for (std::size_t i = 0; i < cameras.size(); ++i) {
    const DeviceRecord& camera = cameras[i];
    // Camera texts go in as they came, Latin-1 bytes too: JsonLine escapes them.
    Json object{{"ip", FormatIPv4(camera.ipAddress)},
                {"mac", FormatMac(camera.macAddress)},
                {"model", FieldText(camera.modelName)},
                {"commandPort", CommandPort(camera)},
                {"addressWord1", FormatIPv4(camera.addressWord1)},
                {"addressWord2", FormatIPv4(camera.addressWord2)},
                {"infoText1", FieldText(camera.infoText1)},
                {"infoText2", FieldText(camera.infoText2)},
                {"infoWords", camera.infoWords},
                {"tailWord1", camera.tailWord1},
                {"tailWord2", camera.tailWord2}};
    if (!interfaces.empty()) {
      const bool known = i < interfaces.size() && !interfaces[i].empty();
      object["interface"] = known ? Json(interfaces[i]) : Json(nullptr);
    }
    list.push_back(std::move(object));
  }
  return JsonArrayLines(list);
}

}  // namespace vktcli

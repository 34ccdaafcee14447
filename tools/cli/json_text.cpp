#include "json_text.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "format.h"

namespace vktcli {

std::string JsonEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    if (u < 0x20 || u >= 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out;
}

std::string JsonQuote(std::string_view text) { return std::string(1, '"').append(JsonEscape(text)).append(1, '"'); }

namespace {

// nlohmann's dump() would join with bare ',' and ':' and refuse the
// cameras' Latin-1 bytes, so the containers and strings are written here.
void WriteJson(const Json& value, std::initializer_list<FixedDecimals> fixed, std::string& out) {
  if (value.is_object()) {
    out += '{';
    const char* separator = "";
    for (const auto& [key, member] : value.items()) {
      out += separator + JsonQuote(key) + ": ";
      separator = ", ";
      const FixedDecimals* decimals = nullptr;
      for (const FixedDecimals& f : fixed) decimals = f.key == key ? &f : decimals;
      if (decimals != nullptr && member.is_number()) {
        out += FormatFixed(member.get<double>(), decimals->decimals);
      } else {
        WriteJson(member, fixed, out);
      }
    }
    out += '}';
  } else if (value.is_array()) {
    out += '[';
    const char* separator = "";
    for (const Json& item : value) {
      out += separator;
      separator = ", ";
      WriteJson(item, fixed, out);
    }
    out += ']';
  } else if (value.is_string()) {
    out += JsonQuote(value.get_ref<const std::string&>());
  } else {
    out += value.dump();
  }
}

}  // namespace

std::string JsonLine(const Json& value, std::initializer_list<FixedDecimals> fixed) {
  std::string out;
  WriteJson(value, fixed, out);
  return out;
}

std::string JsonArrayLines(const Json& array) {
  if (array.empty()) return "[]\n";
  std::string out = "[\n";
  for (std::size_t i = 0; i < array.size(); ++i) {
    out += "  " + JsonLine(array[i]) + (i + 1 < array.size() ? ",\n" : "\n");
  }
  return out + "]\n";
}

std::string JsonTypeName(const Json& value) {
  if (value.is_null()) return "null";
  const std::string name = value.type_name();
  return (value.is_array() || value.is_object() ? "an " : "a ") + name;
}

JsonParse ParseJson(std::string_view text) {
  JsonParse result;
  // nlohmann keeps the last of repeated members; the member names of each
  // open object are tracked to refuse them instead.
  std::vector<std::set<std::string>> open;
  std::string repeated;
  const auto track = [&](int, Json::parse_event_t event, Json& parsed) {
    if (event == Json::parse_event_t::object_start) {
      open.emplace_back();
    } else if (event == Json::parse_event_t::object_end) {
      open.pop_back();
    } else if (event == Json::parse_event_t::key && !open.back().insert(parsed.get<std::string>()).second &&
               repeated.empty()) {
      repeated = parsed.get<std::string>();
    }
    return true;
  };
  try {
    Json value = Json::parse(text.begin(), text.end(), track);
    if (!repeated.empty()) {
      result.error = "member \"" + JsonEscape(repeated) + "\" given twice";
    } else {
      result.value = std::move(value);
    }
  } catch (const Json::parse_error& error) {
    // "[json.exception.parse_error.101] parse error at line 1, column 4: why"
    const std::string what = error.what();
    const std::size_t why = what.find(": ");
    result.error = Printable(why == std::string::npos ? what : what.substr(why + 2)) + " at offset " +
                   std::to_string(error.byte > 0 ? error.byte - 1 : 0);
  }
  return result;
}

std::optional<std::string> ReadBounded(std::istream& in, std::size_t limit, std::string& error) {
  // One byte past the limit tells "too much" from "just enough".
  std::string text(limit + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > limit) {
    error = "more than " + std::to_string(limit) + " bytes of input";
    return std::nullopt;
  }
  if (in.bad() || (in.fail() && !in.eof())) {
    error = "cannot read the input";
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> ReadJsonFile(std::string_view path, std::istream& standardInput, std::string& error) {
  if (path == "-") {
    std::optional<std::string> text = ReadBounded(standardInput, kMaxJsonInput, error);
    if (!text) error = "standard input: " + error;
    return text;
  }
  // A directory opens as a stream on Linux and then reads as empty.
  std::error_code ignored;
  if (std::filesystem::is_directory(std::filesystem::path(path), ignored)) {
    error = Quoted(path) + " is a directory";
    return std::nullopt;
  }
  std::ifstream file{std::string(path), std::ios::binary};
  if (!file) {
    error = "cannot open " + Quoted(path);
    return std::nullopt;
  }
  std::optional<std::string> text = ReadBounded(file, kMaxJsonInput, error);
  if (!text) error = Quoted(path) + ": " + error;
  return text;
}

}  // namespace vktcli

#include "record_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "format.h"
#include "json_text.h"
#include "option_values.h"

namespace vktcli {

namespace {

template <typename Word>
Word Read(std::span<const std::uint8_t> record, const Field& field) {
  Word value;
  std::memcpy(&value, record.data() + field.offset, sizeof value);
  return value;
}

std::span<const std::uint8_t> FieldBytes(std::span<const std::uint8_t> record, const Field& field) {
  return record.subspan(field.offset, field.size);
}

// The field as it appears after "name: " in text and JSON alike, without
// JSON quoting.
std::string FieldValueText(std::span<const std::uint8_t> record, const Field& field) {
  switch (field.type) {
    case FieldType::Int32: return std::to_string(Read<std::int32_t>(record, field));
    case FieldType::UInt16: return std::to_string(Read<std::uint16_t>(record, field));
    case FieldType::IPv4: return FormatIPv4(Read<std::uint32_t>(record, field));
    case FieldType::Bytes: return FormatHex(FieldBytes(record, field));
  }
  return {};
}

bool IsNumberField(const Field& field) {
  return field.type == FieldType::Int32 || field.type == FieldType::UInt16;
}

// Stores a number into a number field of `record` (a whole record, or one
// entry of it); "" or why it does not fit.
template <typename Word>
std::string StoreWord(std::int64_t number, const Field& field, std::span<std::uint8_t> record,
                      std::string_view outOfRange) {
  if (!std::in_range<Word>(number)) return std::string(field.name) + std::string(outOfRange);
  const auto value = static_cast<Word>(number);
  std::memcpy(record.data() + field.offset, &value, sizeof value);
  return {};
}

std::string StoreNumber(std::int64_t number, const Field& field, std::span<std::uint8_t> record) {
  if (field.type == FieldType::UInt16) return StoreWord<std::uint16_t>(number, field, record, " must be 0..65535");
  return StoreWord<std::int32_t>(number, field, record, " is outside the 32-bit range");
}

// Stores text (a positional word, or a JSON string) into a non-number field.
std::string StoreText(std::string_view text, const Field& field, std::span<std::uint8_t> record) {
  if (field.type == FieldType::IPv4) {
    const std::optional<std::uint32_t> address = ParseIPv4(text);
    if (!address) return std::string(field.name) + " needs a dotted quad like 192.168.1.10, not " + Quoted(text);
    std::memcpy(record.data() + field.offset, &*address, sizeof *address);
    return {};
  }
  std::string error;
  const std::optional<std::vector<std::uint8_t>> bytes = ParseHex(text, field.size, error);
  if (!bytes) return std::string(field.name) + ": " + error;
  std::memcpy(record.data() + field.offset, bytes->data(), bytes->size());
  return {};
}

std::string NamesOf(std::span<const Field> fields) {
  std::string names;
  for (const Field& field : fields) {
    if (!names.empty()) names += ' ';
    names += field.name;
  }
  return names;
}

// "name=value name=value ...", one entry's fields on one line.
std::string EntryText(std::span<const Field> fields, std::span<const std::uint8_t> entry) {
  std::string out;
  for (const Field& field : fields) {
    if (!out.empty()) out += ' ';
    out += std::string(field.name) + "=" + FieldValueText(entry, field);
  }
  return out;
}

Json FieldsJson(std::span<const Field> fields, std::span<const std::uint8_t> record) {
  Json json = Json::object();
  for (const Field& field : fields) {
    json[std::string(field.name)] = field.type == FieldType::Int32    ? Json(Read<std::int32_t>(record, field))
                                    : field.type == FieldType::UInt16 ? Json(Read<std::uint16_t>(record, field))
                                                                      : Json(FieldValueText(record, field));
  }
  return json;
}

std::span<const std::uint8_t> Entry(const RecordLayout& layout, std::span<const std::uint8_t> record, std::size_t i) {
  return record.subspan(i * layout.entrySize, layout.entrySize);
}

// A JSON number that fits int64 without fraction; "" or why not.
std::string JsonWholeNumber(const Json& number, std::string_view name, std::int64_t& value) {
  const std::string field(name);
  if (!number.is_number()) return field + " must be a number, not " + JsonTypeName(number);
  if (number.is_number_unsigned() && number.get<std::uint64_t>() > std::numeric_limits<std::int64_t>::max()) {
    return field + " is out of range: " + number.dump();
  }
  if (number.is_number_float()) {
    // nlohmann reads integers beyond 64 bits as floating point.
    const bool huge = std::abs(number.get<double>()) >= 0x1p63;
    return field + (huge ? " is out of range: " : " must be a whole number, not ") + number.dump();
  }
  value = number.get<std::int64_t>();
  return {};
}

// Fills `target` from a JSON object that has exactly `fields` as members;
// "" or the first problem.
std::string StoreObject(std::span<const Field> fields, const Json& object, std::span<std::uint8_t> target) {
  const std::string names = NamesOf(fields);
  if (!object.is_object()) return "needs a JSON object with " + names + ", not " + JsonTypeName(object);
  for (const auto& [key, member] : object.items()) {
    bool known = false;
    for (const Field& field : fields) known = known || field.name == key;
    if (!known) return "unknown member \"" + JsonEscape(key) + "\" (expected " + names + ")";
  }
  for (const Field& field : fields) {
    const auto member = object.find(field.name);
    std::string error;
    std::int64_t number = 0;
    if (member == object.end()) {
      error = "member \"" + std::string(field.name) + "\" is missing";
    } else if (IsNumberField(field)) {
      error = JsonWholeNumber(*member, field.name, number);
      if (error.empty()) error = StoreNumber(number, field, target);
    } else if (!member->is_string()) {
      error = std::string(field.name) + " must be a string, not " + JsonTypeName(*member);
    } else {
      error = StoreText(member->get<std::string>(), field, target);
    }
    if (!error.empty()) return error;
  }
  return {};
}

// {"entries": [{...}, ...]} with exactly layout.entryCount entries.
std::string StoreEntries(const RecordLayout& layout, const Json& object, std::span<std::uint8_t> record) {
  const std::string shape = "needs a JSON object {\"entries\": [...]} with " + std::to_string(layout.entryCount) +
                            " entries";
  if (!object.is_object()) return shape + ", not " + JsonTypeName(object);
  for (const auto& [key, member] : object.items()) {
    if (key != "entries") return "unknown member \"" + JsonEscape(key) + "\" (" + shape + ")";
  }
  const auto entries = object.find("entries");
  if (entries == object.end()) return "member \"entries\" is missing (" + shape + ")";
  if (!entries->is_array()) return "entries must be an array, not " + JsonTypeName(*entries);
  if (entries->size() != layout.entryCount) {
    return "entries must hold " + std::to_string(layout.entryCount) + " entries, not " +
           std::to_string(entries->size());
  }
  for (std::size_t i = 0; i < layout.entryCount; ++i) {
    const std::string error =
        StoreObject(layout.fields, (*entries)[i], record.subspan(i * layout.entrySize, layout.entrySize));
    if (!error.empty()) return "entry " + std::to_string(i) + ": " + error;
  }
  return {};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text, std::size_t size, std::string& error) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.size() % 2 != 0) {
    error = "needs two hex digits per byte (" + std::to_string(text.size()) + " digits given)";
    return std::nullopt;
  }
  if (text.size() / 2 > size) {
    error = "takes at most " + std::to_string(size) + " bytes, not " + std::to_string(text.size() / 2);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(size, 0);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    // Unsigned, so from_chars takes no sign; it takes no "0x" either.
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, bytes[i / 2], 16);
    if (ec != std::errc() || end != text.data() + i + 2) {
      error = Quoted(text.substr(i, 2)) + " at digit " + std::to_string(i) + " is not hex";
      return std::nullopt;
    }
  }
  return bytes;
}

std::string PrintableRuns(std::span<const std::uint8_t> bytes, std::size_t minimum) {
  std::string out;
  std::string run;
  auto flush = [&] {
    if (run.size() >= minimum && run.find_first_not_of(' ') != std::string::npos) {
      if (!out.empty()) out += ' ';
      out += JsonQuote(run);
    }
    run.clear();
  };
  for (std::uint8_t byte : bytes) {
    if (byte >= 0x20 && byte <= 0x7E) {
      run += static_cast<char>(byte);
    } else {
      flush();
    }
  }
  flush();
  return out;
}

std::string FormatRecordText(const RecordLayout& layout, std::span<const std::uint8_t> record) {
  if (layout.kind == SettingKind::Value) return FieldValueText(record, layout.fields.front()) + "\n";
  std::string out;
  if (layout.kind == SettingKind::Entries) {
    for (std::size_t i = 0; i < layout.entryCount; ++i) {
      out += "entry " + std::to_string(i) + ": " + EntryText(layout.fields, Entry(layout, record, i)) + "\n";
    }
    return out;
  }
  for (const Field& field : layout.fields) {
    out += std::string(field.name) + ": " + FieldValueText(record, field) + "\n";
    if (field.type == FieldType::Bytes && !field.textLabel.empty()) {
      const std::string text = PrintableRuns(FieldBytes(record, field));
      if (!text.empty()) out += std::string(field.textLabel) + ": " + text + "\n";
    }
  }
  return out;
}

std::string FormatRecordJson(const RecordLayout& layout, std::span<const std::uint8_t> record) {
  if (layout.kind != SettingKind::Entries) return JsonLine(FieldsJson(layout.fields, record)) + "\n";
  Json entries = Json::array();
  for (std::size_t i = 0; i < layout.entryCount; ++i) {
    entries.push_back(FieldsJson(layout.fields, Entry(layout, record, i)));
  }
  return JsonLine({{"entries", entries}}) + "\n";
}

std::string FieldNames(const RecordLayout& layout) { return NamesOf(layout.fields); }

RecordParse ParseRecordArgs(const RecordLayout& layout, std::span<const std::string> values) {
  RecordParse result;
  if (layout.kind == SettingKind::Entries) {
    // Hundreds of values in a row could not be checked by eye; JSON names each.
    result.error = "takes its " + std::to_string(layout.entryCount) +
                   " entries as JSON only: use --json or --json-file, with what \"get --json\" prints";
    return result;
  }
  if (values.size() != layout.fields.size()) {
    const std::size_t n = layout.fields.size();
    result.error = "needs " + std::to_string(n) + (n == 1 ? " value" : " values");
    if (layout.kind == SettingKind::Record) result.error += " (" + FieldNames(layout) + ")";
    result.error += ", not " + std::to_string(values.size());
    return result;
  }
  result.record.assign(layout.size, 0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Field& field = layout.fields[i];
    const std::string& text = values[i];
    if (IsNumberField(field)) {
      const std::optional<std::int64_t> number = ParseInteger(text);
      if (!number) {
        result.error = Quoted(text) + " is not a whole number (decimal, or hex with 0x)";
      } else {
        result.error = StoreNumber(*number, field, result.record);
        if (!result.error.empty()) result.error = Quoted(text) + ": " + result.error;
      }
    } else {
      result.error = StoreText(text, field, result.record);
    }
    if (!result.ok()) {
      result.record.clear();
      return result;
    }
  }
  return result;
}

RecordParse ParseRecordJson(const RecordLayout& layout, std::string_view json) {
  RecordParse result;
  // Most often the producer of a pipe failed; say that rather than "offset 0".
  if (json.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    result.error = "no JSON given (the input is empty)";
    return result;
  }
  const JsonParse parsed = ParseJson(json);
  if (!parsed.value) {
    result.error = "bad JSON: " + parsed.error;
    return result;
  }
  result.record.assign(layout.size, 0);
  result.error = layout.kind == SettingKind::Entries ? StoreEntries(layout, *parsed.value, result.record)
                                                     : StoreObject(layout.fields, *parsed.value, result.record);
  if (!result.ok()) result.record.clear();
  return result;
}

}  // namespace vktcli

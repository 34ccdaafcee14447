// The settings vktcli can read and write: one row per NAME, saying which
// library calls serve it and how its record is laid out. get, get-default,
// set and the settings listing are all driven by this table, so a new
// setting is one row (plus a layout if its record is new).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vktcli {

// How one field of a record is shown and read back.
enum class FieldType {
  Int32,   // a 32-bit signed word, as a number
  UInt16,  // a 16-bit unsigned half-word, as a number
  IPv4,    // a 32-bit word in network byte order, as a dotted quad
  Bytes,   // opaque bytes, as hex
};

struct Field {
  std::string_view name;       // the "name:" of the text output and the JSON member
  FieldType type = FieldType::Int32;
  std::size_t offset = 0;      // in the record
  std::size_t size = 0;        // 4, 2, 4, or the byte count
  std::string_view textLabel;  // Bytes only: when set, the printable text is shown under it
};

enum class SettingKind {
  Value,    // a single number: printed bare, one positional value
  Record,   // fields: printed "name: value" per line
  Entries,  // a row of equal entries: printed "entry N: name=value ..." per
            // entry; too many values to type, so set takes JSON only
};

struct RecordLayout {
  SettingKind kind = SettingKind::Record;
  std::size_t size = 0;  // the library's structure size
  // Entries: the fields of one entry, offsets counted from the entry's start.
  std::span<const Field> fields;
  std::size_t entryCount = 0;  // Entries only
  std::size_t entrySize = 0;   // Entries only; entryCount * entrySize == size
};

// Adapters around the library's calls: `record` is exactly `size` bytes, the
// memory of the call's structure (or int). They return what the call returned.
using ReadFunction = int (*)(int camera, std::span<std::uint8_t> record, unsigned timeoutMs);
using WriteFunction = int (*)(int camera, std::span<const std::uint8_t> record, unsigned timeoutMs);

struct SettingRead {
  ReadFunction call = nullptr;  // nullptr: not available
  std::size_t size = 0;
  std::string_view callName;    // "VKT_GetAE", for messages
  explicit constexpr operator bool() const { return call != nullptr; }
};

struct SettingWrite {
  WriteFunction call = nullptr;
  std::size_t size = 0;
  std::string_view callName;
  explicit constexpr operator bool() const { return call != nullptr; }
};

// A check of a new value beyond what its layout can say: "" when the record
// may be sent, else why not. Runs before the camera is contacted.
using ValueCheck = std::string (*)(std::span<const std::uint8_t> record);

struct Setting {
  std::string_view name;         // the NAME on the command line
  std::string_view description;  // one line for the listing
  const RecordLayout* layout = nullptr;
  SettingRead get;
  SettingRead getDefault;
  SettingWrite set;
  ValueCheck check = nullptr;    // nullptr: any record the layout parses
};

std::span<const Setting> AllSettings();

// The rows come in the sections of the library's header, each named at its
// first row and running to the next one's; the console shows the settings
// under these titles.
struct SettingSection {
  std::string_view title;
  std::string_view firstSetting;
};

std::span<const SettingSection> SettingSections();

// nullptr for an unknown name.
const Setting* FindSetting(std::string_view name);

// "value", "record, 2 words", "record, 100 bytes", "record, 3 addresses",
// "record, 3 fields",
// "record, 16 entries of 15 words".
std::string DescribeKind(const RecordLayout& layout);

// "vktcli settings": NAME, KIND, GET, SET, DEFAULT, DESCRIPTION; header
// first.
std::string FormatSettingsTable(std::span<const Setting> settings);

// "vktcli settings --json": an array of {"name", "kind", "get", "set", "default", "fields",
// "description"} objects, one per line. "kind" is "value", "record" or
// "entries" (then "fields" are those of one entry).
std::string FormatSettingsJson(std::span<const Setting> settings);

}  // namespace vktcli

// Settings records as text and JSON, and back: the output of "vktcli get"
// and the input of "vktcli set". Pure functions over a RecordLayout and the
// record's bytes, so what get prints, set reads back unchanged.
//
//   value         text "5"                   JSON {"value": 5}
//   word record   text "word0: 5\nword1: 7"  JSON {"word0": 5, "word1": 7}
//   byte record   text "hex: 00ff..."        JSON {"hex": "00ff..."}
//   entries       text "entry 0: a=1 b=2\n"  JSON {"entries": [{"a": 1, "b": 2}, ...]}
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings_catalog.h"

namespace vktcli {

// Hex of at most `size` bytes (either letter case, an optional 0x), zero
// padded to `size`. On failure returns nullopt and sets `error`.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text, std::size_t size, std::string& error);

// The runs of printable ASCII (at least `minimum` long) in opaque bytes,
// each quoted, separated by blanks; "" when there are none.
std::string PrintableRuns(std::span<const std::uint8_t> bytes, std::size_t minimum = 3);

// `record` must be layout.size bytes. Both end with a newline.
std::string FormatRecordText(const RecordLayout& layout, std::span<const std::uint8_t> record);
std::string FormatRecordJson(const RecordLayout& layout, std::span<const std::uint8_t> record);

struct RecordParse {
  std::vector<std::uint8_t> record;  // layout.size bytes on success
  std::string error;                 // empty on success
  bool ok() const { return error.empty(); }
};

// One word per field, in order: numbers for number fields (decimal,
// negative or 0x-hex), dotted quads for addresses, hex for bytes. Entries
// are refused with a message pointing to JSON.
RecordParse ParseRecordArgs(const RecordLayout& layout, std::span<const std::string> values);

// A JSON object with exactly the layout's fields, as FormatRecordJson writes;
// for entries {"entries": [...]} with exactly entryCount such objects.
RecordParse ParseRecordJson(const RecordLayout& layout, std::string_view json);

// "word0 word1", the field names (of one entry) for messages and help.
std::string FieldNames(const RecordLayout& layout);

}  // namespace vktcli

// What the "vktcli sd" actions print: the card's state words, directory
// listings, the progress lines of format and pull and pull's summary. Pure
// functions; every text from the camera is made printable (or JSON-escaped).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"
#include "sd_paths.h"

namespace vktcli {

// "word0: 1\nword1: 30436\nword2: 29000\n"
std::string FormatCardStateText(const SDCardState& state);
// {"word0": 1, "word1": 30436, "word2": 29000} and, when given, "progress"
// first. Ends with a newline.
std::string FormatCardStateJson(const SDCardState& state, std::optional<int> progress = std::nullopt);

// One line per entry, names aligned: "NAME  directory", "NAME  123456 bytes"
// or "NAME  value -7"; "no entries in PATH\n" for none.
std::string FormatListingText(std::string_view path, std::span<const CardEntry> entries);
// {"path": "/", "entries": [{"name": "20261209", "value": -1}, ...]} on one
// line, ending with a newline.
std::string FormatListingJson(std::string_view path, std::span<const CardEntry> entries);

// "[#####---------------]": `width` cells, `done` of `total` filled (all of
// them when done >= total > 0, none when total is 0).
std::string ProgressBar(std::uint64_t done, std::uint64_t total, std::size_t width = 20);

// "formatting [##########----------]  50%"; the bar is clamped to 0..100.
std::string FormatFormatProgressLine(int progress);

struct PullCounts {
  std::uint64_t files = 0;       // pictures fetched and written
  std::uint64_t bytes = 0;       // their bytes
  std::uint64_t failed = 0;      // pictures not fetched or not written
  std::uint64_t skipped = 0;     // entries that are not pictures
  std::uint64_t totalFiles = 0;  // pictures listed
  std::uint64_t totalBytes = 0;  // their sizes as listed
  std::uint64_t doneListedBytes = 0;  // the listed sizes of those tried so far
};

// "pulling [#####---------------] 2/6 files, 81920/245760 bytes" plus
// ", 1 failed". The bar goes by the listed sizes of the pictures tried, failed
// ones too (by their count when the sizes add up to 0).
std::string FormatPullProgressLine(const PullCounts& counts);

// "pulled 6 files, 245760 bytes from /20261209 into DIR" plus "; 1 failed"
// and "; skipped 2 entries that are not pictures" when so. Ends with a newline.
std::string FormatPullSummaryText(std::string_view path, std::string_view dir, const PullCounts& counts);
// {"path", "dir", "files", "bytes", "failed", "skipped"} on one line.
std::string FormatPullSummaryJson(std::string_view path, std::string_view dir, const PullCounts& counts);

}  // namespace vktcli

#include "sd_text.h"

#include <algorithm>

#include "format.h"
#include "json_text.h"

namespace vktcli {

std::string FormatCardStateText(const SDCardState& state) {
  std::string text;
  for (std::size_t i = 0; i < std::size(state.word); ++i) {
    text += "word" + std::to_string(i) + ": " + std::to_string(state.word[i]) + "\n";
  }
  return text;
}

std::string FormatCardStateJson(const SDCardState& state, std::optional<int> progress) {
  Json object = Json::object();
  if (progress) object["progress"] = *progress;
  for (std::size_t i = 0; i < std::size(state.word); ++i) object["word" + std::to_string(i)] = state.word[i];
  return JsonLine(object) + "\n";
}

namespace {

std::string EntryValueText(std::int32_t value) {
  if (value == -1) return "directory";
  if (value >= 0) return std::to_string(value) + " bytes";
  return "value " + std::to_string(value);
}

}  // namespace

std::string FormatListingText(std::string_view path, std::span<const CardEntry> entries) {
  if (entries.empty()) return "no entries in " + Printable(path) + "\n";
  std::vector<std::vector<std::string>> rows;
  for (const CardEntry& entry : entries) rows.push_back({Printable(entry.name), EntryValueText(entry.value)});
  return AlignedColumns(rows);
}

std::string FormatListingJson(std::string_view path, std::span<const CardEntry> entries) {
  Json items = Json::array();
  for (const CardEntry& entry : entries) items.push_back({{"name", entry.name}, {"value", entry.value}});
  return JsonLine({{"path", path}, {"entries", items}}) + "\n";
}

std::string ProgressBar(std::uint64_t done, std::uint64_t total, std::size_t width) {
  std::size_t filled = 0;
  if (total > 0) {
    // In floating point: done * width may not fit 64 bits.
    const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    filled = std::min(width, static_cast<std::size_t>(fraction * static_cast<double>(width)));
  }
  std::string bar = "[";
  bar.append(filled, '#').append(width - filled, '-') += ']';
  return bar;
}

std::string FormatFormatProgressLine(int progress) {
  const int clamped = std::clamp(progress, 0, 100);
  std::string percent = std::to_string(progress) + "%";
  if (percent.size() < 4) percent.insert(0, 4 - percent.size(), ' ');
  return "formatting " + ProgressBar(static_cast<std::uint64_t>(clamped), 100) + " " + percent;
}

std::string FormatPullProgressLine(const PullCounts& counts) {
  const std::string bar = counts.totalBytes > 0 ? ProgressBar(counts.doneListedBytes, counts.totalBytes)
                                                : ProgressBar(counts.files + counts.failed, counts.totalFiles);
  std::string line = "pulling " + bar + " " + std::to_string(counts.files) + "/" + std::to_string(counts.totalFiles) +
                     " files, " + std::to_string(counts.bytes) + "/" + std::to_string(counts.totalBytes) + " bytes";
  if (counts.failed > 0) line += ", " + std::to_string(counts.failed) + " failed";
  return line;
}

std::string FormatPullSummaryText(std::string_view path, std::string_view dir, const PullCounts& counts) {
  std::string text = "pulled " + std::to_string(counts.files) + (counts.files == 1 ? " file, " : " files, ") +
                     std::to_string(counts.bytes) + " bytes from " + Printable(path) + " into " + Printable(dir);
  if (counts.failed > 0) text += "; " + std::to_string(counts.failed) + " failed";
  if (counts.skipped > 0) {
    text += "; skipped " + std::to_string(counts.skipped) +
            (counts.skipped == 1 ? " entry that is not a picture" : " entries that are not pictures");
  }
  return text + "\n";
}

std::string FormatPullSummaryJson(std::string_view path, std::string_view dir, const PullCounts& counts) {
  return JsonLine({{"path", path},
                   {"dir", dir},
                   {"files", counts.files},
                   {"bytes", counts.bytes},
                   {"failed", counts.failed},
                   {"skipped", counts.skipped}}) +
         "\n";
}

}  // namespace vktcli

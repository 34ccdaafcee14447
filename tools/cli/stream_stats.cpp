#include "stream_stats.h"

#include "counter_text.h"
#include "format.h"

namespace vktcli {

namespace {

std::uint64_t AverageBytes(const StreamTotals& totals) {
  return totals.frames == 0 ? 0 : (totals.bytes + totals.frames / 2) / totals.frames;
}

// At the summary's frame rate, so that MB/s and fps tell the same story.
std::optional<double> SummaryMegabytesPerSecond(const StreamTotals& totals) {
  const std::optional<double> fps = StreamFramesPerSecond(totals);
  if (!fps) return std::nullopt;
  return *fps * static_cast<double>(totals.bytes) / static_cast<double>(totals.frames) / 1e6;
}

std::string RateText(std::optional<double> rate, int decimals) {
  return rate ? FormatFixed(*rate, decimals) : "n/a";
}

}  // namespace

std::optional<double> StreamFramesPerSecond(const StreamTotals& totals) {
  if (totals.frames < 2 || totals.arrivalSpan <= 0) return std::nullopt;
  return static_cast<double>(totals.frames - 1) / totals.arrivalSpan;
}

std::uint64_t MissedFrames(std::int32_t previous, std::int32_t next) {
  // Unsigned, so the step across the counter's wrap-around is still 1.
  const std::uint32_t step = static_cast<std::uint32_t>(next) - static_cast<std::uint32_t>(previous);
  if (step < 2 || step > 0x7fffffffu) return 0;
  return step - 1;
}

StreamCounters::StreamCounters(std::optional<std::uint64_t> frameLimit) : frameLimit_(frameLimit) {}

std::uint64_t StreamCounters::Received(std::uint64_t bytes, std::int32_t frameCounter,
                                       std::chrono::steady_clock::time_point arrival) {
  std::lock_guard lock(mutex_);
  if (frameLimit_ && totals_.frames >= *frameLimit_) return 0;
  if (totals_.frames == 0) {
    totals_.minBytes = bytes;
    totals_.maxBytes = bytes;
    firstArrival_ = arrival;
  } else {
    totals_.missed += MissedFrames(lastCounter_, frameCounter);
    if (bytes < totals_.minBytes) totals_.minBytes = bytes;
    if (bytes > totals_.maxBytes) totals_.maxBytes = bytes;
    totals_.arrivalSpan = std::chrono::duration<double>(arrival - firstArrival_).count();
  }
  lastCounter_ = frameCounter;
  totals_.bytes += bytes;
  return ++totals_.frames;
}

std::string FormatStreamProgressLine(const StreamTotals& now, const StreamTotals& before, double interval,
                                     double elapsed) {
  std::string line =
      FormatFixed(elapsed, 0) + " s: " + std::to_string(now.frames) + (now.frames == 1 ? " frame; " : " frames; ") +
      RatesText(now.frames - before.frames, "frames", now.bytes - before.bytes, interval) + "; missed " +
      std::to_string(now.missed) + "; dropped " + std::to_string(now.dropped);
  if (now.writeFailures > 0) line += "; write failures " + std::to_string(now.writeFailures);
  return line;
}

std::string FormatStreamSummaryText(const StreamSummary& summary) {
  const StreamTotals& totals = summary.totals;
  std::string text = "frames: " + std::to_string(totals.frames) + "\n" +
                     "seconds: " + FormatFixed(summary.seconds, 2) + "\n" +
                     "fps: " + RateText(StreamFramesPerSecond(totals), 1) + "\n" +
                     "MB/s: " + RateText(SummaryMegabytesPerSecond(totals), 2) + "\n" +
                     "average size: " + std::to_string(AverageBytes(totals)) + " bytes\n" +
                     "min size: " + std::to_string(totals.minBytes) + " bytes\n" +
                     "max size: " + std::to_string(totals.maxBytes) + " bytes\n" +
                     "missed: " + std::to_string(totals.missed) + "\n" +
                     "dropped: " + std::to_string(totals.dropped) + "\n";
  if (summary.directory) {
    text += "written: " + std::to_string(totals.written) + (totals.written == 1 ? " file" : " files") + " to " +
            *summary.directory + "\n";
    if (totals.writeFailures > 0) text += "write failures: " + std::to_string(totals.writeFailures) + "\n";
  }
  if (summary.library) text += FormatStreamDropLines(*summary.library);
  return text;
}

std::string FormatStreamDropLines(const CameraStatistics& library) {
  return CounterGroupText(CameraCounterGroup::kStreamDrops, library) + "\n" +
         CounterGroupText(CameraCounterGroup::kIgnoredDatagrams, library) + "\n";
}

std::string FormatStreamSummaryJson(const StreamSummary& summary) {
  const StreamTotals& totals = summary.totals;
  const auto rate = [](std::optional<double> value) { return value ? Json(*value) : Json(nullptr); };
  Json json{{"frames", totals.frames},
            {"seconds", summary.seconds},
            {"fps", rate(StreamFramesPerSecond(totals))},
            {"bytes", totals.bytes},
            {"megabytesPerSecond", rate(SummaryMegabytesPerSecond(totals))},
            {"averageSize", AverageBytes(totals)},
            {"minSize", totals.minBytes},
            {"maxSize", totals.maxBytes},
            {"missed", totals.missed},
            {"dropped", totals.dropped}};
  if (summary.directory) {
    json["dir"] = *summary.directory;
    json["written"] = totals.written;
    json["writeFailures"] = totals.writeFailures;
  }
  if (summary.library) {
    AddCounterGroupJson(json, CameraCounterGroup::kStreamDrops, *summary.library);
    AddCounterGroupJson(json, CameraCounterGroup::kIgnoredDatagrams, *summary.library);
  }
  return JsonLine(json, {{"seconds", 3}, {"fps", 2}, {"megabytesPerSecond", 3}}) + "\n";
}

}  // namespace vktcli

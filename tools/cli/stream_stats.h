// What "vktcli stream" counts, and the progress line and summary it prints.
// The counters are shared by the stream's library thread, the writer and the
// main thread; the formatting is pure.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"
#include "picture_queue.h"

namespace vktcli {

struct StreamTotals {
  std::uint64_t frames = 0;  // received, dropped ones too
  std::uint64_t bytes = 0;
  std::uint64_t minBytes = 0;  // 0 while no frame came
  std::uint64_t maxBytes = 0;
  std::uint64_t missed = 0;   // skipped by the camera's frame counter
  std::uint64_t dropped = 0;  // received while the writer's queue was full
  std::uint64_t written = 0;
  std::uint64_t writeFailures = 0;
  double arrivalSpan = 0;  // seconds from the first frame's arrival to the last's
};

// How many frames the camera's frame counter (recordWord8) says were lost
// between two frames in a row: k - 1 for a step of k > 1. A repeat, or a step
// back (the camera restarted its counter), counts none.
std::uint64_t MissedFrames(std::int32_t previous, std::int32_t next);

class StreamCounters : public WriteTally<StreamTotals> {
 public:
  // Frames past `frameLimit` (none: no limit) are not counted.
  explicit StreamCounters(std::optional<std::uint64_t> frameLimit = std::nullopt);

  // Counts a frame of `bytes` with the camera's frame counter. Returns its
  // number, from 1, or 0 when it is past the limit and not counted.
  std::uint64_t Received(std::uint64_t bytes, std::int32_t frameCounter,
                         std::chrono::steady_clock::time_point arrival = std::chrono::steady_clock::now());
  StreamTotals Totals() const { return Snapshot(); }

 private:
  const std::optional<std::uint64_t> frameLimit_;
  std::int32_t lastCounter_ = 0;                          // under mutex_
  std::chrono::steady_clock::time_point firstArrival_{};  // under mutex_
};

// "3 s: 30 frames; 10.0 frames/s; 0.52 MB/s; missed 0; dropped 0"
// The rates are those since `before`, `interval` seconds ago.
std::string FormatStreamProgressLine(const StreamTotals& now, const StreamTotals& before, double interval,
                                     double elapsed);

struct StreamSummary {
  StreamTotals totals;
  double seconds = 0;
  std::optional<std::string> directory;  // where frames were written, if anywhere
  // The library's counters for the camera, whose drops the summary shows;
  // none when they could not be read.
  std::optional<CameraStatistics> library;
};

// The frames the library dropped by reason and the datagrams it ignored:
// "stream drops: gap 2, ..." and "ignored datagrams: ..." lines.
std::string FormatStreamDropLines(const CameraStatistics& library);

// The stream's frame rate over the arrival span, so that a short run is not
// off by one frame; nullopt with fewer than two frames.
std::optional<double> StreamFramesPerSecond(const StreamTotals& totals);

// One "name: value" line each: frames, seconds, fps, MB/s, the average,
// smallest and largest frame, missed, dropped; and with a directory the
// files written and failed; then the library's drops, if known. A rate that
// cannot be known reads "n/a" (null in JSON). Ends with a newline.
std::string FormatStreamSummaryText(const StreamSummary& summary);

// The same as one JSON object on one line. Ends with a newline.
std::string FormatStreamSummaryJson(const StreamSummary& summary);

}  // namespace vktcli

// What "vktcli listen" counts, and the progress and summary lines it prints.
// The counters are shared by the picture threads, the writer and the main
// thread; the formatting is pure.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"
#include "picture_queue.h"

namespace vktcli {

struct CameraCount {
  std::uint64_t pictures = 0;
  std::uint64_t bytes = 0;
};

struct ListenTotals {
  std::map<int, CameraCount> cameras;  // by camera handle; received, dropped ones too
  std::uint64_t dropped = 0;           // received while the queue was full
  std::uint64_t written = 0;
  std::uint64_t writeFailures = 0;

  std::uint64_t Pictures() const;
  std::uint64_t Bytes() const;
};

class ListenCounters : public WriteTally<ListenTotals> {
 public:
  void Received(int camera, std::uint64_t bytes);
  ListenTotals Totals() const { return Snapshot(); }
};

struct ListenCamera {
  int handle = 0;
  std::string ip;
};

// "4 s: 127.0.0.10 40, 127.0.0.11 38; total 78; 20.0 pictures/s; 0.93 MB/s; dropped 0"
// The rates are those since `before`, `interval` seconds ago.
std::string FormatProgressLine(std::span<const ListenCamera> cameras, const ListenTotals& now,
                               const ListenTotals& before, double interval, double elapsed);

// "listened 3.0 s: 127.0.0.10 30; total 30; 10.0 pictures/s; 0.46 MB/s;
//  wrote 30 files to DIR; dropped 0" (one line), plus "; write failures 2".
std::string FormatListenSummary(std::span<const ListenCamera> cameras, const ListenTotals& totals, double elapsed,
                                std::string_view dir);

// The pictures the library dropped for each camera, by reason, one line a
// camera: "127.0.0.10 picture drops: bad marker 2, short APP1 0, ...". A
// camera without an entry in `library` (its counters could not be read) is
// left out.
std::string FormatListenDrops(std::span<const ListenCamera> cameras, const std::map<int, CameraStatistics>& library);

}  // namespace vktcli

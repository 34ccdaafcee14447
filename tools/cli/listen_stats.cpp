#include "listen_stats.h"

#include "counter_text.h"
#include "format.h"

namespace vktcli {

namespace {

std::string PerCamera(std::span<const ListenCamera> cameras, const ListenTotals& totals) {
  std::string text;
  for (const ListenCamera& camera : cameras) {
    const auto it = totals.cameras.find(camera.handle);
    const std::uint64_t pictures = it == totals.cameras.end() ? 0 : it->second.pictures;
    text += (text.empty() ? "" : ", ") + camera.ip + " " + std::to_string(pictures);
  }
  return text;
}

}  // namespace

std::uint64_t ListenTotals::Pictures() const {
  std::uint64_t sum = 0;
  for (const auto& [handle, count] : cameras) sum += count.pictures;
  return sum;
}

std::uint64_t ListenTotals::Bytes() const {
  std::uint64_t sum = 0;
  for (const auto& [handle, count] : cameras) sum += count.bytes;
  return sum;
}

void ListenCounters::Received(int camera, std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  CameraCount& count = totals_.cameras[camera];
  ++count.pictures;
  count.bytes += bytes;
}

std::string FormatProgressLine(std::span<const ListenCamera> cameras, const ListenTotals& now,
                               const ListenTotals& before, double interval, double elapsed) {
  std::string line = FormatFixed(elapsed, 0) + " s: " + PerCamera(cameras, now) + "; total " +
                     std::to_string(now.Pictures()) + "; " +
                     RatesText(now.Pictures() - before.Pictures(), "pictures", now.Bytes() - before.Bytes(), interval) +
                     "; dropped " + std::to_string(now.dropped);
  if (now.writeFailures > 0) line += "; write failures " + std::to_string(now.writeFailures);
  return line;
}

std::string FormatListenSummary(std::span<const ListenCamera> cameras, const ListenTotals& totals, double elapsed,
                                std::string_view dir) {
  std::string line = "listened " + FormatFixed(elapsed, 1) + " s: " + PerCamera(cameras, totals) + "; total " +
                     std::to_string(totals.Pictures()) + "; " +
                     RatesText(totals.Pictures(), "pictures", totals.Bytes(), elapsed) + "; wrote " +
                     std::to_string(totals.written) + (totals.written == 1 ? " file" : " files") + " to " +
                     std::string(dir) + "; dropped " + std::to_string(totals.dropped);
  if (totals.writeFailures > 0) line += "; write failures " + std::to_string(totals.writeFailures);
  return line;
}

std::string FormatListenDrops(std::span<const ListenCamera> cameras, const std::map<int, CameraStatistics>& library) {
  std::string text;
  for (const ListenCamera& camera : cameras) {
    const auto it = library.find(camera.handle);
    if (it == library.end()) continue;
    text += camera.ip + " " + CounterGroupText(CameraCounterGroup::kPictureDrops, it->second) + "\n";
  }
  return text;
}

}  // namespace vktcli

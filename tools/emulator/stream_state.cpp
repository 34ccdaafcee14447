#include "stream_state.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vktemu {
namespace {

double clampRate(double rate) { return std::isnan(rate) ? 0 : std::clamp(rate, 0.0, 1.0); }

}  // namespace

StreamStart streamStartOf(std::string_view model) {
  constexpr std::array<std::string_view, 3> kOnTarget = {"VKT-N2F0Kp", "VKT-N2F0Kw", "VKT-N9G6Kp"};
  constexpr std::array<std::string_view, 5> kOnCommand = {"VKT-N2F0Kq", "VKT-N9G6Kq", "VKT-R6E0Kq", "VKT-R6E0Kp",
                                                          "VKT-R8E0Kq"};
  for (const auto each : kOnTarget) {
    if (model == each) return StreamStart::kOnTarget;
  }
  for (const auto each : kOnCommand) {
    if (model == each) return StreamStart::kOnCommand;
  }
  return StreamStart::kNever;
}

bool streamGoesOut(StreamStart start, const StreamSettings& settings) {
  if (settings.framesPerSecond <= 0) return false;
  if (settings.forced) return *settings.forced;
  switch (start) {
    case StreamStart::kOnTarget:
      return true;
    case StreamStart::kOnCommand:
      return settings.modeStarted;
    case StreamStart::kNever:
      break;
  }
  return false;
}

void StreamState::setTarget(const PushTarget& target) {
  change([&](StreamSettings& s) { s.target = target; });
}

void StreamState::setRate(double framesPerSecond) {
  change([&](StreamSettings& s) { s.framesPerSecond = clampedRate(framesPerSecond, kMaxPerSecond); });
}

void StreamState::setFrameSize(int width, int height, int quality) {
  change([&](StreamSettings& s) { s.format = clampedFormat(width, height, quality); });
}

void StreamState::setPad(size_t bytes) {
  change([&](StreamSettings& s) { s.padTo = std::min(bytes, kMaxPadBytes); });
}

void StreamState::setFaults(const StreamFaults& faults) {
  change([&](StreamSettings& s) {
    s.faults = faults;
    s.faults.lossRate = clampRate(faults.lossRate);
    s.faults.duplicateRate = clampRate(faults.duplicateRate);
    ++s.faultsVersion;
  });
}

void StreamState::setModeStarted(bool started) {
  change([&](StreamSettings& s) { s.modeStarted = started; });
}

void StreamState::setForced(std::optional<bool> forced) {
  change([&](StreamSettings& s) { s.forced = forced; });
}

}  // namespace vktemu

#include "stream_models.h"

#include <array>

namespace vktemu {

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

}  // namespace vktemu

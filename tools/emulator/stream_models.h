// Which models stream, and what makes them start.
#pragma once

#include <string_view>

#include "stream_state.h"

namespace vktemu {

enum class StreamStart {
  kNever,      // no stream; command 501 is refused
  kOnTarget,   // sends as soon as a target is registered
  kOnCommand,  // waits for 501 start, stops on 501 stop
};

StreamStart streamStartOf(std::string_view model);

// Whether a camera that has a stream target sends, with these settings.
bool streamGoesOut(StreamStart start, const StreamSettings& settings);

}  // namespace vktemu

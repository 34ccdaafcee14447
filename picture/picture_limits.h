// How much the picture receivers hold at once (the figures are the public
// header's; see there).
#pragma once

#include <cstddef>
#include <cstdint>

#include "VKTNetSDK11.h"

namespace vkt {

struct PictureLimits {
  size_t connections = VKT_PICTURE_CONNECTIONS;       // open at once
  size_t bufferBytes = VKT_PICTURE_BUFFER_BYTES;      // of pictures still arriving
  uint64_t perCamera = VKT_PICTURE_CONNECTIONS_PER_CAMERA;  // one camera's share
};

}  // namespace vkt

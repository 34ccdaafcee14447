// Pictures compressed with the system's libjpeg.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "test_pattern.h"

namespace vktemu {

// A complete JPEG file (SOI .. EOI) of the image at `quality` (1..100).
// Nothing, with a message, when libjpeg fails or `cancel` becomes true
// while it works, so a stop need not wait for a large picture.
std::optional<std::vector<uint8_t>> encodeJpeg(const RgbImage& image, int quality,
                                               const std::atomic<bool>* cancel, std::string* error);

}  // namespace vktemu

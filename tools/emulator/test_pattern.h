// What the emulated camera "sees": a colour gradient with the camera's id
// and the picture's number drawn in large blocky digits, so every picture
// differs and a person looking at one can tell where it came from; as a
// JPEG compressed with the system's libjpeg.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace vktemu {

struct JpegFormat {
  int width = 0;
  int height = 0;
  int quality = 0;
};

// Within what a camera takes: 8..4096 pixels, quality 1..100.
JpegFormat clampedFormat(int width, int height, int quality);

// A complete JPEG file (SOI .. EOI) of the pattern at the format's quality
// (1..100), with no JFIF or Adobe header: the camera writes its own. Width
// and height at least 1. Nothing, with a message, when libjpeg fails or a
// stop is requested while it works, so a stop need not wait for a large
// picture.
std::optional<std::vector<uint8_t>> testPatternJpeg(const JpegFormat& format, int cameraId, uint32_t number,
                                                    std::stop_token stop, std::string* error);

}  // namespace vktemu

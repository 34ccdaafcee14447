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

// A complete JPEG file (SOI .. EOI) of the pattern at `quality` (1..100),
// with no JFIF or Adobe header: the camera writes its own. Width and height
// at least 1. Nothing, with a message, when libjpeg fails or a stop is
// requested while it works, so a stop need not wait for a large picture.
std::optional<std::vector<uint8_t>> testPatternJpeg(int width, int height, int cameraId, uint32_t number, int quality,
                                                    std::stop_token stop, std::string* error);

}  // namespace vktemu

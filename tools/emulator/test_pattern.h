// What the emulated camera "sees": a colour gradient with the camera's id
// and the picture's number drawn in large blocky digits, so every picture
// differs and a person looking at one can tell where it came from.
#pragma once

#include <cstdint>
#include <vector>

namespace vktemu {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // rows of width * 3 bytes, top row first
};

// Width and height at least 1.
RgbImage drawTestPattern(int width, int height, int cameraId, uint32_t number);

}  // namespace vktemu

#include "test_pattern.h"

#include <algorithm>
#include <array>
#include <string>

namespace vktemu {
namespace {

// 3x5 digits, one row per entry, bit 2 the leftmost column; index 10 is '#'
// and 11 is 'C'.
constexpr std::array<std::array<uint8_t, 5>, 12> kGlyphs = {{
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {5, 7, 5, 7, 5}, {7, 4, 4, 4, 7},
}};

int glyphIndex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return c == '#' ? 10 : 11;
}

void fillRect(RgbImage& image, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  const int x1 = std::min(image.width, x0 + w), y1 = std::min(image.height, y0 + h);
  for (int y = std::max(0, y0); y < y1; ++y) {
    for (int x = std::max(0, x0); x < x1; ++x) {
      uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 3];
      p[0] = r, p[1] = g, p[2] = b;
    }
  }
}

// White blocks on a black box, `cell` pixels per font dot.
void drawText(RgbImage& image, const std::string& text, int x, int y, int cell) {
  const int advance = 4 * cell;
  fillRect(image, x - cell, y - cell, advance * static_cast<int>(text.size()) + cell, 7 * cell, 0, 0, 0);
  for (const char c : text) {
    const auto& glyph = kGlyphs[static_cast<size_t>(glyphIndex(c))];
    for (int row = 0; row < 5; ++row) {
      for (int col = 0; col < 3; ++col) {
        if (glyph[static_cast<size_t>(row)] & (4 >> col))
          fillRect(image, x + col * cell, y + row * cell, cell, cell, 255, 255, 255);
      }
    }
    x += advance;
  }
}

}  // namespace

RgbImage drawTestPattern(int width, int height, int cameraId, uint32_t number) {
  RgbImage image;
  image.width = std::max(1, width);
  image.height = std::max(1, height);
  image.pixels.resize(static_cast<size_t>(image.width) * image.height * 3);
  // The blue level and a bright bar move with the number.
  const auto blue = static_cast<uint8_t>(number * 37);
  const int bar = static_cast<int>(number * 23 % static_cast<uint32_t>(image.width));
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / std::max(1, image.width - 1));
      p[1] = static_cast<uint8_t>(y * 255 / std::max(1, image.height - 1));
      p[2] = blue;
    }
  }
  fillRect(image, bar, 0, std::max(1, image.width / 64), image.height, 255, 255, 0);
  const int cell = std::max(1, std::min(image.width, image.height) / 40);
  drawText(image, "C" + std::to_string(cameraId), 2 * cell, 2 * cell, cell);
  drawText(image, "#" + std::to_string(number), 2 * cell, 10 * cell, cell);
  return image;
}

}  // namespace vktemu

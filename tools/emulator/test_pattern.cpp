#include "test_pattern.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace vktemu {
namespace {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // rows of width * 3 bytes, top row first
};

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

// `mark` and the number's digits, in white blocks on a black box, `cell`
// pixels per font dot.
void drawText(RgbImage& image, char mark, long number, int x, int y, int cell) {
  char buffer[24];
  const std::string_view text(buffer, static_cast<size_t>(std::snprintf(buffer, sizeof buffer, "%c%ld", mark, number)));
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
  drawText(image, 'C', cameraId, 2 * cell, 2 * cell, cell);
  drawText(image, '#', number, 2 * cell, 10 * cell, cell);
  return image;
}

constexpr JDIMENSION kRowsPerCheck = 16;

// libjpeg reports errors by calling error_exit, which must not return: it
// jumps back to compress() instead of ending the process.
struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr info) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  (*info->err->format_message)(info, trap->message);
  std::longjmp(trap->jump, 1);
}

void silent(j_common_ptr, int) {}

enum class Outcome { kDone, kFailed, kCancelled };

// Only plain C data lives here, so jumping out of libjpeg skips no
// destructor. libjpeg's buffer ends up in *out (malloc'ed) either way.
Outcome compress(const RgbImage& image, int quality, const std::stop_token& stop, unsigned char** out,
                 unsigned long* size, ErrorTrap* trap) {
  jpeg_compress_struct info;
  info.err = jpeg_std_error(&trap->manager);
  trap->manager.error_exit = onError;
  trap->manager.emit_message = silent;
  if (setjmp(trap->jump)) {
    jpeg_destroy_compress(&info);
    return Outcome::kFailed;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  // Our own JFIF header goes in front of the APP1 segment.
  info.write_JFIF_header = FALSE;
  info.write_Adobe_marker = FALSE;
  jpeg_start_compress(&info, TRUE);
  const auto stride = static_cast<size_t>(image.width) * 3;
  while (info.next_scanline < info.image_height) {
    if (info.next_scanline % kRowsPerCheck == 0 && stop.stop_requested()) {
      jpeg_destroy_compress(&info);
      return Outcome::kCancelled;
    }
    JSAMPROW row = const_cast<JSAMPROW>(&image.pixels[info.next_scanline * stride]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return Outcome::kDone;
}

}  // namespace

JpegFormat clampedFormat(int width, int height, int quality) {
  return {std::clamp(width, 8, 4096), std::clamp(height, 8, 4096), std::clamp(quality, 1, 100)};
}

std::optional<std::vector<uint8_t>> testPatternJpeg(const JpegFormat& format, int cameraId, uint32_t number,
                                                    std::stop_token stop, std::string* error) {
  const RgbImage image = drawTestPattern(format.width, format.height, cameraId, number);
  // The memory destination reports its buffer only when compression
  // finishes: a cancelled or failed run that had grown it leaves a pointer
  // it freed itself. Room for more than any JPEG of the image means it never
  // grows, so the one buffer freed here is always ours.
  unsigned long size = static_cast<unsigned long>(image.width) * static_cast<unsigned long>(image.height) * 3 + 65536;
  unsigned char* const ours = static_cast<unsigned char*>(std::malloc(size));
  if (ours == nullptr) {
    if (error) *error = "jpeg: out of memory";
    return std::nullopt;
  }
  unsigned char* buffer = ours;
  ErrorTrap trap{};
  const Outcome outcome = compress(image, format.quality, stop, &buffer, &size, &trap);
  std::optional<std::vector<uint8_t>> jpeg;
  if (outcome == Outcome::kDone && buffer) jpeg.emplace(buffer, buffer + size);
  if (outcome == Outcome::kDone && buffer != ours) std::free(buffer);
  std::free(ours);
  if (!jpeg && error) *error = outcome == Outcome::kCancelled ? "stopped" : std::string("jpeg: ") + trap.message;
  return jpeg;
}

}  // namespace vktemu

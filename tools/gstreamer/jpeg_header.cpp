#include "jpeg_header.h"

namespace vktgst {
namespace {

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool IsFrameHeader(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM and RST0..RST7.
bool IsStandalone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

}  // namespace

std::optional<JpegSize> ReadJpegSize(const uint8_t* data, size_t length) {
  if (data == nullptr || length < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
  size_t pos = 2;
  while (pos + 2 <= length) {
    if (data[pos] != 0xFF) return std::nullopt;
    uint8_t marker = data[pos + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++pos;
      continue;
    }
    pos += 2;
    if (IsStandalone(marker)) continue;
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return std::nullopt;  // SOI, EOI or scan first
    if (pos + 2 > length) return std::nullopt;
    size_t segment = Be16(data + pos);  // counts its own two length bytes
    if (segment < 2 || segment > length - pos) return std::nullopt;
    if (IsFrameHeader(marker)) {
      // precision (1), height (2), width (2)
      if (segment < 7) return std::nullopt;
      int height = Be16(data + pos + 3);
      int width = Be16(data + pos + 5);
      if (width == 0 || height == 0) return std::nullopt;
      return JpegSize{width, height};
    }
    pos += segment;
  }
  return std::nullopt;
}

}  // namespace vktgst

// The picture size from a JPEG's frame header (SOF marker), read from
// untrusted bytes: every length is checked against the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vktgst {

struct JpegSize {
  int width = 0;
  int height = 0;
};

// The width and height of the first frame header before the scan starts;
// nullopt when the bytes are not a JPEG (no start-of-image marker), a
// segment runs past the end, the scan starts first, or the size is zero.
std::optional<JpegSize> ReadJpegSize(const uint8_t* data, size_t length);

}  // namespace vktgst

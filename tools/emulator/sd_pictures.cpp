#include "sd_pictures.h"

#include <algorithm>
#include <array>

#include "jpeg_encoder.h"
#include "jpeg_segments.h"
#include "picture_wire.h"
#include "test_pattern.h"

namespace vktemu {
namespace {

constexpr int kQuality = 85;

struct SeedShape {
  const char* directory;
  const char* name;
  int width;
  int height;
};

// Small sizes: a card is seeded on its first use, on the camera's command
// thread.
constexpr std::array<SeedShape, 6> kSeeds = {{
    {"20261208", "081502_001.jpg", 160, 120},
    {"20261208", "081517_002.jpg", 320, 240},
    {"20261208", "093044_003.jpg", 64, 48},
    {"20261209", "103015_004.jpg", 320, 240},
    {"20261209", "103016_005.jpg", 160, 120},
    {"20261209", "171201_006.jpg", 480, 360},
}};

}  // namespace

std::vector<SdPicture> seedPictures(int cameraId) {
  std::vector<SdPicture> out;
  uint32_t number = 0;
  for (const auto& seed : kSeeds) {
    ++number;
    auto bytes = sdJpeg(cameraId, number, seed.width, seed.height, 0, nullptr);
    if (bytes) out.push_back({seed.directory, seed.name, std::move(*bytes)});
  }
  return out;
}

std::optional<std::vector<uint8_t>> sdJpeg(int cameraId, uint32_t number, int width, int height, size_t minSize,
                                           std::string* error) {
  const auto jpeg = encodeJpeg(drawTestPattern(width, height, cameraId, number), kQuality, nullptr, error);
  if (!jpeg) return std::nullopt;
  // The encoder leaves the JFIF header to us, as for pushed pictures.
  const auto body = wire::jpegBody(*jpeg);
  if (body.empty()) {
    if (error) *error = "the encoder's output has no JPEG body";
    return std::nullopt;
  }
  const size_t plainSize = wire::kJfifHeader.size() + body.size();
  std::vector<uint8_t> out;
  out.reserve(std::max(plainSize, minSize) + 4);
  out.assign(wire::kJfifHeader.begin(), wire::kJfifHeader.end());
  if (minSize > plainSize) wire::appendPadding(out, minSize - plainSize);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace vktemu

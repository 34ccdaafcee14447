// JPEG files the SD card holds without the camera having taken them: the
// seed set a card starts with and pictures of a given size a test asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vktemu {

struct SdPicture {
  std::string directory;  // e.g. "20261209"
  std::string name;       // e.g. "103015_004.jpg"
  std::vector<uint8_t> bytes;
};

// Two directories of three pictures each, of three sizes, drawn with the
// camera's id: the same for the same id on every run.
std::vector<SdPicture> seedPictures(int cameraId);

// The test pattern (camera id, number) as a JFIF file of at least
// `minSize` bytes: COM segments after the JFIF header make up the rest.
// Nothing, with a message, when the encoder fails.
std::optional<std::vector<uint8_t>> sdJpeg(int cameraId, uint32_t number, int width, int height, size_t minSize,
                                           std::string* error);

}  // namespace vktemu

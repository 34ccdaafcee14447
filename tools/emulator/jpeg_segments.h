// Building blocks of the JPEG files the camera sends (pictures and stream
// frames): big-endian segment lengths and COM segments that pad a file to a
// size a test asks for while any decoder still reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vktemu::wire {

// The caller makes sure bytes [at, at + 2) exist.
void putBe16(std::vector<uint8_t>& out, size_t at, uint16_t value);

// COM segments adding exactly `need` bytes to the end of `out`, or 4 when
// fewer than 4 are needed (no segment is smaller).
void appendPadding(std::vector<uint8_t>& out, size_t need);

}  // namespace vktemu::wire

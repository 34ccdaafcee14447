// How a camera reports its temperature (command 200): only the low 16 bits
// of the value count; bit 15 is the sign, bits 5..14 the magnitude in steps
// of 0.125 degree, bits 0..4 carry nothing.
#pragma once

#include <cstdint>

namespace vktemu {

// Rounded to the nearest step; magnitudes beyond 127.875 degrees are cut to
// it. The unused bits are zero.
int32_t encodeTemperature(double degrees);

}  // namespace vktemu

#include "temperature_word.h"

#include <algorithm>
#include <cmath>

namespace vktemu {
namespace {

constexpr double kStep = 0.125;
constexpr int32_t kMaxSteps = 0x3FF;  // ten bits
constexpr int kMagnitudeShift = 5;
constexpr int32_t kSignBit = 0x8000;

}  // namespace

int32_t encodeTemperature(double degrees) {
  if (std::isnan(degrees)) return 0;
  const double steps = std::min(std::round(std::fabs(degrees) / kStep), static_cast<double>(kMaxSteps));
  const auto magnitude = static_cast<int32_t>(steps);
  // No "minus zero": a reading that rounds to 0 goes out as plain 0.
  const int32_t sign = degrees < 0 && magnitude != 0 ? kSignBit : 0;
  return sign | (magnitude << kMagnitudeShift);
}

}  // namespace vktemu

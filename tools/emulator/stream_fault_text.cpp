#include "stream_fault_text.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "number_text.h"

namespace vktemu {
namespace {

bool parseRate(std::string_view text, double& out) {
  double value = 0;
  if (!parseNumber(text, 0.0, 1.0, value) || std::isnan(value)) return false;
  out = value;
  return true;
}

}  // namespace

bool setStreamFault(StreamFaults& faults, std::string_view name, std::string_view value, std::string* error) {
  StreamFaults f = faults;
  bool ok = false;
  if (name == "lossRate") ok = parseRate(value, f.lossRate);
  else if (name == "duplicateRate") ok = parseRate(value, f.duplicateRate);
  else if (name == "seed") ok = parseNumber(value, uint64_t{0}, std::numeric_limits<uint64_t>::max(), f.seed);
  else if (name == "reorder") ok = parseBool(value, f.reorder);
  else if (name == "foreignDatagrams") ok = parseBool(value, f.foreignDatagrams);
  else if (name == "totalLength") {
    uint32_t length = 0;
    if (value == "none") f.totalLength.reset(), ok = true;
    else if ((ok = parseNumber(value, uint32_t{0}, std::numeric_limits<uint32_t>::max(), length))) f.totalLength = length;
  } else {
    if (error) *error = "unknown stream fault " + std::string(name);
    return false;
  }
  if (!ok) {
    if (error) *error = "bad value " + std::string(value) + " for " + std::string(name);
    return false;
  }
  faults = f;
  return true;
}

}  // namespace vktemu

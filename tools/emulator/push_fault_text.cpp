#include "push_fault_text.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "number_text.h"

namespace vktemu {
namespace {

constexpr int kMaxDelayMs = 3600000;
constexpr size_t kMaxBytes = size_t{1} << 30;
constexpr int kMaxSendBuffer = 64 << 20;

template <typename T>
bool parseOptional(std::string_view text, T low, T high, std::optional<T>& out) {
  if (text == "none") {
    out.reset();
    return true;
  }
  T value{};
  if (!parseNumber(text, low, high, value)) return false;
  out = value;
  return true;
}

}  // namespace

bool setPushFault(PushFaults& faults, std::string_view name, std::string_view value, std::string* error) {
  PushFaults f = faults;
  bool ok = false;
  if (name == "chunkBytes") ok = parseNumber(value, size_t{0}, kMaxBytes, f.chunkBytes);
  else if (name == "chunkDelayMs") ok = parseInt(value, 0, kMaxDelayMs, f.chunkDelayMs);
  else if (name == "badMarker") ok = parseBool(value, f.badMarker);
  else if (name == "app1Length")
    ok = parseOptional<uint16_t>(value, 0, std::numeric_limits<uint16_t>::max(), f.app1Length);
  else if (name == "totalLength")
    ok = parseOptional<uint32_t>(value, 0, std::numeric_limits<uint32_t>::max(), f.totalLength);
  else if (name == "sendBytes") ok = parseOptional<size_t>(value, 0, kMaxBytes, f.sendBytes);
  else if (name == "padTo") ok = parseNumber(value, size_t{0}, kMaxBytes, f.padTo);
  else if (name == "holdOpen") ok = parseBool(value, f.holdOpen);
  else if (name == "stuckAfter") ok = parseOptional<size_t>(value, 0, kMaxBytes, f.stuckAfter);
  else if (name == "sendBufferBytes") ok = parseInt(value, 0, kMaxSendBuffer, f.sendBufferBytes);
  else {
    if (error) *error = "unknown push fault " + std::string(name);
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

#include "command_fault_text.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "number_text.h"

namespace vktemu {
namespace {

constexpr int kMaxDelayMs = 3600000;

template <typename T>
bool parseOptional(std::string_view text, std::optional<T>& out) {
  if (text == "none") {
    out.reset();
    return true;
  }
  T value{};
  if (!parseNumber(text, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), value)) return false;
  out = value;
  return true;
}

bool parseInt32(std::string_view text, int& out) {
  return parseInt(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), out);
}

}  // namespace

bool setCommandFault(CommandFaults& faults, std::string_view name, std::string_view value, std::string* error) {
  CommandFaults f = faults;
  bool ok = false;
  if (name == "delayMs") ok = parseInt(value, 0, kMaxDelayMs, f.delayMs);
  else if (name == "noReply") ok = parseBool(value, f.noReply);
  else if (name == "sequenceDelta") ok = parseInt32(value, f.sequenceDelta);
  else if (name == "commandDelta") ok = parseInt32(value, f.commandDelta);
  else if (name == "status") ok = parseOptional(value, f.status);
  else if (name == "closeAfterBytes") ok = parseInt(value, -1, std::numeric_limits<int>::max(), f.closeAfterBytes);
  else if (name == "announcedLength") ok = parseOptional(value, f.announcedLength);
  else if (name == "completionDelayMs") ok = parseInt(value, 0, kMaxDelayMs, f.completionDelayMs);
  else if (name == "noCompletion") ok = parseBool(value, f.noCompletion);
  else if (name == "completionStatus") ok = parseOptional(value, f.completionStatus);
  else if (name == "completionCommand") ok = parseOptional(value, f.completionCommand);
  else {
    if (error) *error = "unknown command fault " + std::string(name);
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

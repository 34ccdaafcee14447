#include "settings_store.h"

namespace vktemu {

int32_t SettingsStore::value(int32_t command) const {
  const auto found = values_.find(command);
  return found == values_.end() ? 0 : found->second;
}

std::vector<uint8_t> SettingsStore::payload(int32_t command) const {
  const auto found = payloads_.find(command);
  return found == payloads_.end() ? std::vector<uint8_t>{} : found->second;
}

std::optional<int32_t> SettingsStore::getCommandFor(int32_t setCommand) const {
  const auto found = getFor_.find(setCommand);
  if (found == getFor_.end()) return std::nullopt;
  return found->second;
}

bool SettingsStore::applySet(int32_t command, int32_t value, std::span<const uint8_t> payload) {
  const auto get = getCommandFor(command);
  if (!get) return false;
  if (payload.empty()) {
    values_[*get] = value;
  } else {
    payloads_[*get].assign(payload.begin(), payload.end());
  }
  return true;
}

}  // namespace vktemu

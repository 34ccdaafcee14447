#include "settings_model.h"

namespace vktemu {
namespace {

template <typename Map>
auto* entry(Map& map, int32_t key) {
  const auto found = map.find(key);
  return found == map.end() ? nullptr : &found->second;
}

template <typename Map>
std::optional<typename Map::mapped_type> copyOf(const Map& map, int32_t key) {
  const auto* found = entry(map, key);
  return found ? std::optional(*found) : std::nullopt;
}

}  // namespace

SettingsModel::SettingsModel(SettingValues factory) : factory_(std::move(factory)), current_(factory_), saved_(factory_) {}

std::optional<int32_t> SettingsModel::value(int32_t key) const { return copyOf(current_.values, key); }

std::optional<int32_t> SettingsModel::factoryValue(int32_t key) const { return copyOf(factory_.values, key); }

const std::vector<uint8_t>* SettingsModel::record(int32_t key) const { return entry(current_.records, key); }

const std::vector<uint8_t>* SettingsModel::factoryRecord(int32_t key) const { return entry(factory_.records, key); }

bool SettingsModel::setValue(int32_t key, int32_t value) {
  auto* found = entry(current_.values, key);
  if (!found) return false;
  *found = value;
  return true;
}

bool SettingsModel::setRecord(int32_t key, std::span<const uint8_t> bytes) {
  auto* found = entry(current_.records, key);
  if (!found || found->size() != bytes.size()) return false;
  found->assign(bytes.begin(), bytes.end());
  return true;
}

void SettingsModel::setShortReply(int32_t key, std::optional<uint32_t> bytes) {
  if (bytes) {
    shortReplies_[key] = *bytes;
  } else {
    shortReplies_.erase(key);
  }
}

std::optional<uint32_t> SettingsModel::shortReply(int32_t key) const { return copyOf(shortReplies_, key); }

void SettingsModel::save() {
  saved_ = current_;
  ++saves_;
}

void SettingsModel::resetToFactory() {
  for (const auto& def : settingDefs()) {
    if (def.measured) continue;
    const int32_t key = def.key();
    if (const auto* value = entry(factory_.values, key)) current_.values[key] = *value;
    if (const auto* record = entry(factory_.records, key)) current_.records[key] = *record;
  }
  ++resets_;
}

int32_t SettingsStore::value(int32_t command) const { return copyOf(values_, command).value_or(0); }

std::vector<uint8_t> SettingsStore::payload(int32_t command) const {
  return copyOf(payloads_, command).value_or(std::vector<uint8_t>{});
}

bool SettingsStore::applySet(int32_t command, int32_t value, std::span<const uint8_t> payload) {
  const auto get = copyOf(getFor_, command);
  if (!get) return false;
  if (payload.empty()) {
    values_[*get] = value;
  } else {
    payloads_[*get].assign(payload.begin(), payload.end());
  }
  return true;
}

}  // namespace vktemu

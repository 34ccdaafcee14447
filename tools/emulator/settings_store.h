// What a camera answers to the commands that have no behaviour of their
// own: a reply value and a reply payload per command, and Get/Set pairs
// through which a client's Set changes what the matching Get returns. For
// the settings the camera models, what a test stored here wins over the
// model.
// Not locked: the owning Camera guards it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace vktemu {

class SettingsStore {
 public:
  void setValue(int32_t command, int32_t value) { values_[command] = value; }
  void setPayload(int32_t command, std::vector<uint8_t> payload) { payloads_[command] = std::move(payload); }
  int32_t value(int32_t command) const;                 // 0 when none stored
  std::vector<uint8_t> payload(int32_t command) const;  // empty when none stored
  bool hasValue(int32_t command) const { return values_.contains(command); }
  bool hasPayload(int32_t command) const { return payloads_.contains(command); }

  void pair(int32_t getCommand, int32_t setCommand) { getFor_[setCommand] = getCommand; }
  std::optional<int32_t> getCommandFor(int32_t setCommand) const;

  // A Set request: stores its payload, or its value when it has none, as
  // the paired Get's reply. False when `command` is no registered Set.
  bool applySet(int32_t command, int32_t value, std::span<const uint8_t> payload);

 private:
  std::map<int32_t, int32_t> values_;
  std::map<int32_t, std::vector<uint8_t>> payloads_;
  std::map<int32_t, int32_t> getFor_;  // set command -> get command
};

}  // namespace vktemu

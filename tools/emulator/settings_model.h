// A camera's settings as its firmware keeps them (SettingsModel), and what a
// test stored for commands beside them (SettingsStore). Not locked: the
// owning Camera guards them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "setting_table.h"

namespace vktemu {

// Factory and current values and records of every setting in the table, the
// copy the last save wrote, and the bookkeeping of saves and resets.
// Settings are named by their key (SettingDef::key()).
class SettingsModel {
 public:
  explicit SettingsModel(SettingValues factory);

  // Nothing when the key names no value (record) setting.
  std::optional<int32_t> value(int32_t key) const;
  std::optional<int32_t> factoryValue(int32_t key) const;
  const std::vector<uint8_t>* record(int32_t key) const;
  const std::vector<uint8_t>* factoryRecord(int32_t key) const;

  // False, changing nothing, for an unknown key or a record of the wrong size.
  bool setValue(int32_t key, int32_t value);
  bool setRecord(int32_t key, std::span<const uint8_t> bytes);

  // Get and GetDefault replies of the setting carry at most this many bytes.
  void setShortReply(int32_t key, std::optional<uint32_t> bytes);
  std::optional<uint32_t> shortReply(int32_t key) const;

  // The camera runs firmware that knows only the short forms of the records
  // that have one: its Get and GetDefault replies are short, and its Sets
  // take either form.
  void setShortForms(bool on) { shortForms_ = on; }
  bool shortForms() const { return shortForms_; }

  // Writes the current settings to the camera's flash.
  void save();
  // Every setting but the measured ones goes back to its factory value.
  void resetToFactory();
  size_t saveCount() const { return saves_; }
  size_t resetCount() const { return resets_; }

  std::chrono::milliseconds saveDelay() const { return saveDelay_; }
  void setSaveDelay(std::chrono::milliseconds delay) { saveDelay_ = delay; }

 private:
  const SettingValues factory_;
  SettingValues current_;
  SettingValues saved_;
  std::map<int32_t, uint32_t> shortReplies_;
  bool shortForms_ = false;
  std::chrono::milliseconds saveDelay_{50};
  size_t saves_ = 0;
  size_t resets_ = 0;
};

// What a camera answers to the commands that have no behaviour of their
// own: a reply value and a reply payload per command, and Get/Set pairs
// through which a client's Set changes what the matching Get returns. For
// the settings the camera models, what a test stored here wins over the
// model.
class SettingsStore {
 public:
  void setValue(int32_t command, int32_t value) { values_[command] = value; }
  void setPayload(int32_t command, std::vector<uint8_t> payload) { payloads_[command] = std::move(payload); }
  int32_t value(int32_t command) const;                 // 0 when none stored
  std::vector<uint8_t> payload(int32_t command) const;  // empty when none stored
  bool hasValue(int32_t command) const { return values_.contains(command); }
  bool hasPayload(int32_t command) const { return payloads_.contains(command); }

  void pair(int32_t getCommand, int32_t setCommand) { getFor_[setCommand] = getCommand; }

  // A Set request: stores its payload, or its value when it has none, as
  // the paired Get's reply. False when `command` is no registered Set.
  bool applySet(int32_t command, int32_t value, std::span<const uint8_t> payload);

 private:
  std::map<int32_t, int32_t> values_;
  std::map<int32_t, std::vector<uint8_t>> payloads_;
  std::map<int32_t, int32_t> getFor_;  // set command -> get command
};

}  // namespace vktemu

#include "settings_handlers.h"

#include <algorithm>
#include <vector>

#include "command_wire.h"
#include "setting_table.h"

namespace vktemu {
namespace {

enum class Copy { kCurrent, kFactory };

CommandHandler getHandler(const SettingDef& def, Copy copy) {
  return [key = def.key(), form = def.form, shortSize = def.shortSize, copy](Camera& camera, const Request& request) {
    return modelReply(camera, request, [&](SettingsModel& model) {
      Reply reply;
      if (form == SettingForm::kValue) {
        reply.value = (copy == Copy::kFactory ? model.factoryValue(key) : model.value(key)).value_or(0);
        return reply;
      }
      if (const auto* record = copy == Copy::kFactory ? model.factoryRecord(key) : model.record(key))
        reply.payload = *record;
      if (shortSize != 0 && model.shortForms() && shortSize < reply.payload.size()) reply.payload.resize(shortSize);
      if (const auto limit = model.shortReply(key); limit && *limit < reply.payload.size())
        reply.payload.resize(*limit);
      return reply;
    });
  };
}

// A short form fills the first bytes of the record; the rest reads zero.
bool setRecord(SettingsModel& model, const SettingDef& def, const std::vector<uint8_t>& payload) {
  if (def.shortSize == 0 || !model.shortForms() || payload.size() != def.shortSize)
    return model.setRecord(def.key(), payload);
  std::vector<uint8_t> whole(def.size, 0);
  std::copy(payload.begin(), payload.end(), whole.begin());
  return model.setRecord(def.key(), whole);
}

// A Set that does not carry exactly what the setting holds (a payload on a
// value, a record of another size) is refused and changes nothing.
CommandHandler setHandler(const SettingDef& def) {
  return [&def](Camera& camera, const Request& request) {
    return modelReply(camera, request, [&](SettingsModel& model) {
      const bool taken = def.form == SettingForm::kValue
                             ? request.payload.empty() && model.setValue(def.key(), request.value)
                             : setRecord(model, def, request.payload);
      Reply reply;
      if (!taken) reply.status = wire::kStatusBadParameter;
      return reply;
    });
  };
}

}  // namespace

Reply modelReply(Camera& camera, const Request& request, const std::function<Reply(SettingsModel&)>& f) {
  return camera.withState([&](SettingsStore& store, SettingsModel& model) {
    store.applySet(request.command, request.value, request.payload);
    Reply reply = f(model);
    if (store.hasValue(request.command)) reply.value = store.value(request.command);
    if (store.hasPayload(request.command)) reply.payload = store.payload(request.command);
    return reply;
  });
}

void addSettingCommands(CommandTable& table) {
  for (const auto& def : settingDefs()) {
    if (def.get != 0) table.add(def.get, getHandler(def, Copy::kCurrent));
    if (def.getDefault != 0) table.add(def.getDefault, getHandler(def, Copy::kFactory));
    if (def.set != 0) table.add(def.set, setHandler(def));
  }
  // A camera that answers at all is in a state to work.
  table.add(wire::command::kState, [](Camera& camera, const Request& request) {
    return modelReply(camera, request, [](SettingsModel&) { return Reply{}; });
  });
}

}  // namespace vktemu

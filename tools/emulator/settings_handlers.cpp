#include "settings_handlers.h"

#include "command_wire.h"
#include "setting_table.h"

namespace vktemu {
namespace {

enum class Copy { kCurrent, kFactory };

CommandHandler getHandler(const SettingDef& def, Copy copy) {
  return [key = def.key(), form = def.form, copy](Camera& camera, const Request& request) {
    return modelReply(camera, request, [&](SettingsModel& model) {
      Reply reply;
      if (form == SettingForm::kValue) {
        reply.value = (copy == Copy::kFactory ? model.factoryValue(key) : model.value(key)).value_or(0);
        return reply;
      }
      if (const auto* record = copy == Copy::kFactory ? model.factoryRecord(key) : model.record(key))
        reply.payload = *record;
      if (const auto limit = model.shortReply(key); limit && *limit < reply.payload.size())
        reply.payload.resize(*limit);
      return reply;
    });
  };
}

// A Set that does not carry exactly what the setting holds (a payload on a
// value, a record of another size) is refused and changes nothing.
CommandHandler setHandler(const SettingDef& def) {
  return [key = def.key(), form = def.form](Camera& camera, const Request& request) {
    return modelReply(camera, request, [&](SettingsModel& model) {
      const bool taken = form == SettingForm::kValue ? request.payload.empty() && model.setValue(key, request.value)
                                                     : model.setRecord(key, request.payload);
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

#include <algorithm>
#include <cstring>
#include <vector>

#include "command_handlers.h"
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
      return withStatus(taken ? 0 : wire::kStatusBadParameter);
    });
  };
}

// 100: answered at once; the completion comes when the flash is written, after
// the camera's save delay.
Reply save(Camera& camera, const Request& request) {
  return modelReply(camera, request, [](SettingsModel& model) {
    model.save();
    Reply reply;
    reply.completion =
        Reply::Completion{.status = wire::kStatusSaved, .value = 0, .delay = model.saveDelay(), .onDone = {}};
    return reply;
  });
}

// 103 and 104: the camera acknowledges, then restarts: the connection ends with the
// reply, and requests already sent behind it are never answered.
Reply reset(Camera& camera, const Request& request) {
  return modelReply(camera, request, [](SettingsModel& model) {
    model.resetToFactory();
    Reply reply;
    reply.closeAfter = true;
    return reply;
  });
}

// 1017: the reply goes out on the connection the request came on; the camera then
// restarts its network at the new address, so that connection ends with the
// reply and the command server listens at the new address before it is
// sent. New address words alone are only stored.
Reply setNetwork(Camera& camera, const Request& request) {
  const SettingDef* def = findSetting(wire::command::kNetwork);
  bool taken = false;
  Reply reply = modelReply(camera, request, [&](SettingsModel&) {
    taken = def && request.payload.size() == def->size;
    return withStatus(taken ? 0 : wire::kStatusBadParameter);
  });
  if (!taken) return reply;

  wire::Ipv4 address{};
  uint32_t word1 = 0, word2 = 0;
  std::copy_n(request.payload.begin(), address.size(), address.begin());
  std::memcpy(&word1, request.payload.data() + 4, 4);
  std::memcpy(&word2, request.payload.data() + 8, 4);
  const bool moves = address != camera.address();
  camera.takeAddress(address, word1, word2);
  reply.closeAfter = moves;
  return reply;
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
  table.add(wire::command::kSaveConfiguration, save);
  table.add(wire::command::kResetMode0, reset);
  table.add(wire::command::kResetMode1, reset);
  // Replaces the plain Set of the network setting added above.
  table.add(wire::command::kSetNetwork, setNetwork);
}

}  // namespace vktemu

#include "maintenance_handlers.h"

#include "command_wire.h"
#include "settings_handlers.h"

namespace vktemu {
namespace {

// Answered at once; the completion comes when the flash is written, after
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

// The camera acknowledges, then restarts: the connection ends with the
// reply, and requests already sent behind it are never answered.
Reply reset(Camera& camera, const Request& request) {
  return modelReply(camera, request, [](SettingsModel& model) {
    model.resetToFactory();
    Reply reply;
    reply.closeAfter = true;
    return reply;
  });
}

}  // namespace

void addMaintenanceCommands(CommandTable& table) {
  table.add(wire::command::kSaveConfiguration, save);
  table.add(wire::command::kResetMode0, reset);
  table.add(wire::command::kResetMode1, reset);
}

}  // namespace vktemu

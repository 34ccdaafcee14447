#include "command_handlers.h"

#include "clock_handlers.h"
#include "command_wire.h"
#include "maintenance_handlers.h"
#include "network_handlers.h"
#include "picture_handlers.h"
#include "sd_handlers.h"
#include "settings_handlers.h"
#include "stream_handlers.h"

namespace vktemu {
namespace {

constexpr int32_t kRefused = -1;

Reply refused() {
  Reply reply;
  reply.status = kRefused;
  return reply;
}

// Commands 1080 and 1081: remember where to send to. An announced address
// of 0.0.0.0 means "the host this connection comes from", so the peer is
// kept beside it.
Reply storeTarget(Camera& camera, const Request& request, void (Camera::*store)(const PushTarget&)) {
  const auto parsed = wire::parseTargetPayload(request.payload);
  if (!parsed) return refused();
  PushTarget target;
  target.address = parsed->address;
  target.port = parsed->port;
  target.flag = parsed->flag;
  target.set = true;
  target.peerAddress = request.peerAddress;
  (camera.*store)(target);
  return Reply{};
}

}  // namespace

void CommandTable::add(int32_t command, CommandHandler handler) { handlers_[command] = std::move(handler); }

Reply CommandTable::answer(Camera& camera, const Request& request) const {
  const auto found = handlers_.find(request.command);
  return found == handlers_.end() ? storedReply(camera, request) : found->second(camera, request);
}

Reply storedReply(Camera& camera, const Request& request) {
  return camera.withSettings([&](SettingsStore& store) {
    store.applySet(request.command, request.value, request.payload);
    Reply reply;
    reply.value = store.value(request.command);
    reply.payload = store.payload(request.command);
    return reply;
  });
}

CommandTable standardCommands() {
  CommandTable table;
  addSettingCommands(table);
  addMaintenanceCommands(table);
  addNetworkCommands(table);
  addClockCommands(table);
  addPictureCommands(table);
  addStreamCommands(table);
  addSdCardCommands(table);
  table.add(wire::command::kPushTarget,
            [](Camera& camera, const Request& request) { return storeTarget(camera, request, &Camera::setPushTarget); });
  table.add(wire::command::kStreamTarget, [](Camera& camera, const Request& request) {
    return storeTarget(camera, request, &Camera::setStreamTarget);
  });
  return table;
}

}  // namespace vktemu

#include "clock_handlers.h"

#include <algorithm>

#include "command_wire.h"
#include "le_words.h"
#include "settings_handlers.h"

namespace vktemu {
namespace {

Reply getClock(Camera& camera, const Request& request) {
  return modelReply(camera, request, [&](SettingsModel&) {
    Reply reply;
    CameraClock& clock = camera.clock();
    if (const auto forced = clock.forcedReply()) {
      reply.payload.assign(forced->begin(), forced->end());
      return reply;
    }
    const auto [seconds, microseconds] = clock.now();
    reply.payload.assign(wire::kClockReplySize, 0);
    // The camera's word is 32 bits: past 2038 it wraps, as the camera's does.
    storeLe32(reply.payload, 0, static_cast<uint32_t>(seconds));
    storeLe32(reply.payload, 4, static_cast<uint32_t>(microseconds));
    storeLe32(reply.payload, 16, static_cast<uint32_t>(clock.extra()));
    return reply;
  });
}

Reply setClock(Camera& camera, const Request& request) {
  return modelReply(camera, request, [&](SettingsModel&) {
    Reply reply;
    if (request.payload.size() != wire::kClockSetSize) {
      reply.status = wire::kStatusBadParameter;
      return reply;
    }
    const auto seconds = static_cast<int32_t>(loadLe32(request.payload, 0));
    const auto microseconds = static_cast<int32_t>(loadLe32(request.payload, 4));
    camera.clock().set(seconds, microseconds);
    camera.clock().setExtra(static_cast<int32_t>(loadLe32(request.payload, 8)));
    return reply;
  });
}

// Answered at once; the clock takes the host's time when the completion is
// due, after the camera's NTP delay (or the command's completion fault).
Reply syncNtp(Camera& camera, const Request& request) {
  Reply reply = storedReply(camera, request);
  CameraClock& clock = camera.clock();
  clock.countNtp();
  reply.completion = Reply::Completion{.status = 0,
                                       .value = 0,
                                       .delay = clock.ntpDelay(),
                                       .onDone = [&clock](auto due) { clock.syncAt(due); }};
  return reply;
}

}  // namespace

void addClockCommands(CommandTable& table) {
  table.add(wire::command::kGetClock, getClock);
  table.add(wire::command::kSetClock, setClock);
  table.add(wire::command::kSyncNtp, syncNtp);
}

}  // namespace vktemu

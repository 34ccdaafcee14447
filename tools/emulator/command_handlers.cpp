#include "command_handlers.h"

#include "command_wire.h"

namespace vktemu {
namespace {

// Commands 1080 and 1081: remember where to send to. An announced address
// of 0.0.0.0 means "the host this connection comes from", so the peer is
// kept beside it.
CommandHandler storeTarget(std::function<void(Camera&, const PushTarget&)> store) {
  return [store = std::move(store)](Camera& camera, const Request& request) {
    const auto parsed = wire::parseTargetPayload(request.payload);
    if (!parsed) return withStatus(wire::kStatusRefused);
    store(camera, PushTarget{parsed->address, parsed->port, parsed->flag, true, request.peerAddress});
    return Reply{};
  };
}

// 102: a bare acknowledgement; the picture is pushed to the registered
// target once the reply is out, so the client hears the acknowledgement
// before the picture connection opens, as from a real camera.
Reply snapshot(Camera& camera, const Request& request) {
  camera.pictureLog.change([](PushHistory& log) { ++log.snapshots; });
  Reply reply;
  if (camera.refusedByFault(request.command)) return reply;
  reply.onSent = [&camera, value = request.value] { camera.pictureQueue.post({PictureSource::kSnapshot, value}); };
  return reply;
}

// 501: the models that wait for it start and stop their stream on it; the
// others refuse it.
Reply streamMode(Camera& camera, const Request& request) {
  if (streamStartOf(camera.config().model) != StreamStart::kOnCommand) return withStatus(wire::kStatusRefused);
  const bool start = request.value == wire::kStreamModeStart;
  if (!start && request.value != wire::kStreamModeStop) return withStatus(wire::kStatusBadParameter);
  // Switched before the reply goes out: once the client has it, the camera
  // streams (a datagram may even come first, as UDP does not wait) or no
  // new frame starts.
  if (!camera.refusedByFault(request.command)) camera.streamState.setModeStarted(start);
  return Reply{};
}

// 1070: seconds since 1970, microseconds, 8 zero bytes and the extra word.
Reply getClock(Camera& camera, const Request& request) {
  return modelReply(camera, request, [&](SettingsModel&) {
    Reply reply;
    if (const auto forced = camera.clock.forcedReply.get()) {
      reply.payload.assign(forced->begin(), forced->end());
      return reply;
    }
    const auto [seconds, microseconds] = camera.clock.now();
    reply.payload.assign(wire::kClockReplySize, 0);
    // The camera's word is 32 bits: past 2038 it wraps, as the camera's does.
    wire::storeLe32(reply.payload, 0, static_cast<uint32_t>(seconds));
    wire::storeLe32(reply.payload, 4, static_cast<uint32_t>(microseconds));
    wire::storeLe32(reply.payload, 16, static_cast<uint32_t>(camera.clock.extra.get()));
    return reply;
  });
}

// 1071: seconds, microseconds and the extra word.
Reply setClock(Camera& camera, const Request& request) {
  return modelReply(camera, request, [&](SettingsModel&) {
    if (request.payload.size() != wire::kClockSetSize) return withStatus(wire::kStatusBadParameter);
    const auto word = [&](size_t at) { return static_cast<int32_t>(wire::loadLe32(request.payload, at)); };
    camera.clock.set(word(0), word(4));
    camera.clock.extra.set(word(8));
    return Reply{};
  });
}

// 101: answered at once; the clock takes the host's time when the
// completion is due, after the camera's NTP delay (or the command's
// completion fault).
Reply syncNtp(Camera& camera, const Request& request) {
  Reply reply = storedReply(camera, request);
  CameraClock& clock = camera.clock;
  ++clock.ntpCount;
  reply.completion = Reply::Completion{
      .status = 0, .value = 0, .delay = clock.ntpDelay(), .onDone = [&clock](auto due) { clock.syncAt(due); }};
  return reply;
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
  addSdCardCommands(table);
  table.add(wire::command::kGetClock, getClock);
  table.add(wire::command::kSetClock, setClock);
  table.add(wire::command::kSyncNtp, syncNtp);
  table.add(wire::command::kSnapshot, snapshot);
  table.add(wire::command::kStreamMode, streamMode);
  table.add(wire::command::kPushTarget,
            storeTarget([](Camera& camera, const PushTarget& target) { camera.pushTarget.set(target); }));
  table.add(wire::command::kStreamTarget,
            storeTarget([](Camera& camera, const PushTarget& target) { camera.streamState.setTarget(target); }));
  return table;
}

}  // namespace vktemu

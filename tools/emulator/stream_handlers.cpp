#include "stream_handlers.h"

#include "command_wire.h"
#include "stream_models.h"

namespace vktemu {
namespace {

Reply streamMode(Camera& camera, const Request& request) {
  Reply reply;
  if (streamStartOf(camera.config().model) != StreamStart::kOnCommand) {
    reply.status = -1;
    return reply;
  }
  const bool start = request.value == wire::kStreamModeStart;
  if (!start && request.value != wire::kStreamModeStop) {
    reply.status = wire::kStatusBadParameter;
    return reply;
  }
  // A reply forced to a failure is a camera that refused: nothing changes.
  const auto faults = camera.effectiveCommandFaults(request.command);
  if (faults && faults->status && *faults->status < 0) return reply;
  // Switched before the reply goes out: once the client has it, the camera
  // streams (a datagram may even come first, as UDP does not wait) or no
  // new frame starts.
  camera.streamState().setModeStarted(start);
  return reply;
}

}  // namespace

void addStreamCommands(CommandTable& table) { table.add(wire::command::kStreamMode, streamMode); }

}  // namespace vktemu

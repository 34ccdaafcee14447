#include "picture_handlers.h"

#include "command_wire.h"

namespace vktemu {
namespace {

Reply snapshot(Camera& camera, const Request& request) {
  camera.pictureLog().countSnapshot();
  Reply reply;
  // A reply forced to a failure is a camera that refused: no picture.
  const auto faults = camera.effectiveCommandFaults(request.command);
  if (faults && faults->status && *faults->status < 0) return reply;
  // The client hears the acknowledgement before the picture connection
  // opens, as from a real camera.
  reply.onSent = [&camera, value = request.value] {
    camera.pictureQueue().post({PictureSource::kSnapshot, value});
  };
  return reply;
}

}  // namespace

void addPictureCommands(CommandTable& table) { table.add(wire::command::kSnapshot, snapshot); }

}  // namespace vktemu

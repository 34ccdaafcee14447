#include "command_handlers.h"
#include "command_wire.h"

namespace vktemu {
namespace {

Reply state(Camera& camera, const Request& request) {
  if (!request.payload.empty()) return withStatus(wire::kStatusBadParameter);
  const auto state = camera.sdCard.state();
  Reply reply;
  reply.payload = wire::encodeSdState(state.status, state.capacityMiB, state.freeMiB);
  return reply;
}

Reply format(Camera& camera, const Request& request) {
  if (!request.payload.empty()) return withStatus(wire::kStatusBadParameter);
  if (camera.refusedByFault(request.command)) return Reply{};
  return withStatus(camera.sdCard.startFormat());
}

Reply formatProgress(Camera& camera, const Request& request) {
  if (!request.payload.empty()) return withStatus(wire::kStatusBadParameter);
  Reply reply;
  reply.value = camera.sdCard.formatProgress();
  return reply;
}

Reply list(Camera& camera, const Request& request) {
  const auto path = wire::sdRequestText(request.payload, wire::kSdListRequestSize, 0);
  if (!path) return withStatus(wire::kStatusBadParameter);
  SdCard& card = camera.sdCard;
  Reply reply;
  if (auto forced = card.listingOverride()) {
    reply.payload = std::move(*forced);
    return reply;
  }
  const auto listing = card.list(*path);
  if (!listing.tree) {
    reply.payload = wire::encodeSdNoTree();
    return reply;
  }
  if (!listing.found) return withStatus(wire::kStatusBadParameter);
  reply.payload = wire::encodeSdListing(*path, listing.entries);
  return reply;
}

Reply fetch(Camera& camera, const Request& request) {
  const auto name = wire::sdRequestText(request.payload, wire::kSdFetchRequestSize, 4);
  if (!name) return withStatus(wire::kStatusBadParameter);
  Reply reply;
  reply.status = camera.sdCard.fetch(*name, reply.payload);
  return reply;
}

Reply remove(Camera& camera, const Request& request) {
  const auto path = wire::sdRequestText(request.payload, wire::kSdDeleteRequestSize, 0);
  if (!path) return withStatus(wire::kStatusBadParameter);
  if (camera.refusedByFault(request.command)) return Reply{};
  return withStatus(camera.sdCard.remove(*path));
}

}  // namespace

void addSdCardCommands(CommandTable& table) {
  table.add(wire::command::kSdState, state);
  table.add(wire::command::kSdFormat, format);
  table.add(wire::command::kSdFormatProgress, formatProgress);
  table.add(wire::command::kSdList, list);
  table.add(wire::command::kSdFetch, fetch);
  table.add(wire::command::kSdDelete, remove);
}

}  // namespace vktemu

#include "network_handlers.h"

#include <algorithm>
#include <cstring>

#include "command_wire.h"
#include "setting_table.h"
#include "settings_handlers.h"

namespace vktemu {
namespace {

// The reply goes out on the connection the request came on; the camera then
// restarts its network at the new address, so that connection ends with the
// reply and the command server listens at the new address before it is
// sent. New address words alone are only stored.
Reply setNetwork(Camera& camera, const Request& request) {
  const SettingDef* def = findSetting(wire::command::kNetwork);
  bool taken = false;
  Reply reply = modelReply(camera, request, [&](SettingsModel&) {
    Reply refused;
    taken = def && request.payload.size() == def->size;
    if (!taken) refused.status = wire::kStatusBadParameter;
    return refused;
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

void addNetworkCommands(CommandTable& table) { table.add(wire::command::kSetNetwork, setNetwork); }

}  // namespace vktemu

// Where a registered push or stream target points: the announced address
// and port, or the peer that registered when it announced 0.0.0.0.
#pragma once

#include <netinet/in.h>

#include <optional>

#include "emulator.h"

namespace vktemu {

// Nothing when no target is registered, or it announced 0.0.0.0 and its
// peer is not a dotted IPv4 address.
std::optional<sockaddr_in> targetAddress(const PushTarget& target);

}  // namespace vktemu

// TCP sockets for the cameras' command ports.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "unique_fd.h"
#include "wire.h"

namespace vktemu {

// A non-blocking listener on address:port (SO_REUSEADDR, so a restarted
// emulator gets its ports back at once). On failure the message names the
// address and port.
UniqueFd listenTcp(const wire::Ipv4& address, uint16_t port, std::string* error);

// The next waiting client, non-blocking; invalid when none is waiting.
UniqueFd acceptTcp(int listener, sockaddr_in& peer);

std::string dottedAddress(const sockaddr_in& address);

}  // namespace vktemu

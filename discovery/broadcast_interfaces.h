// The host's IPv4 interfaces a limited broadcast can leave by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vkt::discovery {

struct BroadcastInterface {
  std::string name;
  uint32_t address = 0;  // network order
};

// Every interface that is up, can broadcast and is not loopback, with its
// first IPv4 address, in the system's order.
std::vector<BroadcastInterface> BroadcastInterfaces();

}  // namespace vkt::discovery

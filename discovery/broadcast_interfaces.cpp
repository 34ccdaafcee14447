#include "discovery/broadcast_interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace vkt::discovery {

std::vector<BroadcastInterface> BroadcastInterfaces() {
  std::vector<BroadcastInterface> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET || i->ifa_name == nullptr) continue;
    const unsigned flags = i->ifa_flags;
    if ((flags & IFF_UP) == 0 || (flags & IFF_BROADCAST) == 0 || (flags & IFF_LOOPBACK) != 0) continue;
    const std::string name = i->ifa_name;
    // One socket per interface: an interface with several addresses uses
    // its first.
    if (std::any_of(found.begin(), found.end(), [&](const BroadcastInterface& b) { return b.name == name; })) {
      continue;
    }
    found.push_back({name, reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr});
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace vkt::discovery

#include "target_address.h"

#include <arpa/inet.h>

namespace vktemu {

std::optional<sockaddr_in> targetAddress(const PushTarget& target) {
  if (!target.set) return std::nullopt;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(target.port);
  to.sin_addr.s_addr = target.address;
  if (target.address == 0 && inet_pton(AF_INET, target.peerAddress.c_str(), &to.sin_addr) != 1) return std::nullopt;
  return to;
}

}  // namespace vktemu

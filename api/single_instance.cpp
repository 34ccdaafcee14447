#include "api/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace vkt {
namespace {

constexpr char kInstanceName[] = "VKT_SDK_ONE_INSTANCE_EVENT";
int g_instanceSocket = -1;

}  // namespace

// An abstract Unix-domain socket: the kernel removes its name when the last
// descriptor closes, so a process killed with SIGKILL leaves nothing behind.
bool ClaimSingleInstance() {
  if (g_instanceSocket >= 0) return true;
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  // sun_path[0] stays 0: the abstract namespace.
  std::memcpy(addr.sun_path + 1, kInstanceName, sizeof(kInstanceName) - 1);
  socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + sizeof(kInstanceName) - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    ::close(fd);
    return false;
  }
  g_instanceSocket = fd;
  return true;
}

void ReleaseSingleInstance() {
  if (g_instanceSocket >= 0) {
    ::close(g_instanceSocket);
    g_instanceSocket = -1;
  }
}

}  // namespace vkt

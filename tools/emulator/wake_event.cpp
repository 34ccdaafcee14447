#include "wake_event.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace vktemu {

bool WakeEvent::open(std::string* error) {
  fd_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (fd_.valid()) return true;
  if (error) *error = std::string("eventfd: ") + std::strerror(errno);
  return false;
}

void WakeEvent::signal() {
  const uint64_t one = 1;
  // Only fails when the counter would overflow, and then it is signalled anyway.
  [[maybe_unused]] ssize_t n = ::write(fd_.get(), &one, sizeof one);
}

void WakeEvent::drain() {
  uint64_t value = 0;
  [[maybe_unused]] ssize_t n = ::read(fd_.get(), &value, sizeof value);
}

}  // namespace vktemu

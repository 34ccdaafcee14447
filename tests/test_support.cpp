#include "test_support.h"

#include <poll.h>

namespace vkttest {

bool Child::ReadMore(Clock::time_point deadline) {
  if (out_ < 0) return false;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left < 0) left = 0;
  pollfd p{out_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
  char chunk[4096];
  ssize_t n = read(out_, chunk, sizeof chunk);
  if (n <= 0) return false;
  buffer_.append(chunk, static_cast<size_t>(n));
  return true;
}

}  // namespace vkttest

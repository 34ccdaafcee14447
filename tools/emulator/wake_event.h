// Wakes a thread blocked in poll(): stop requests reach a receive loop at
// once instead of at its next time-out.
#pragma once

#include <string>

#include "unique_fd.h"

namespace vktemu {

class WakeEvent {
 public:
  bool open(std::string* error);
  void close() { fd_.reset(); }
  int fd() const { return fd_.get(); }  // readable once signalled
  void signal();
  void drain();

 private:
  UniqueFd fd_;
};

}  // namespace vktemu

// Starts the library for the life of one subcommand and closes it again.
#pragma once

#include <ostream>

namespace vktcli {

class LibrarySession {
 public:
  // Calls VKT_Init; when it does not start, tells `err` why and ok() is false.
  explicit LibrarySession(std::ostream& err);
  ~LibrarySession();  // VKT_Close, if started

  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;

  bool ok() const { return started_; }

 private:
  bool started_ = false;
};

}  // namespace vktcli

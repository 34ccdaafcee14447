// A small line-oriented TCP server through which scripts steer a running
// emulator. Each line received is handed to the handler and its reply
// written back. It serves 127.0.0.1 unless told another address: the
// channel has no authentication, so another address belongs only inside a
// private network namespace (a test's link to the emulator's namespace).
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "worker.h"

namespace vktemu {

class ControlChannel {
 public:
  using Handler = std::function<std::string(std::string_view line)>;

  explicit ControlChannel(Handler handler);
  ~ControlChannel() { stop(); }

  bool start(uint16_t port, std::string* error);  // on 127.0.0.1
  bool start(const std::string& address, uint16_t port, std::string* error);  // dotted IPv4
  void stop();  // closes every connection; bounded

 private:
  struct Client {
    UniqueFd fd;
    std::string input;
  };

  void run(std::stop_token stop);
  void accept();
  bool serve(Client& client);  // false: close the connection

  Handler handler_;
  UniqueFd listener_;
  std::vector<Client> clients_;  // the loop's while it runs
  Worker worker_;
};

}  // namespace vktemu

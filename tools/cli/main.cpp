// vktcli: find cameras on the local network, set their addresses, and read
// and write their settings.
#include <iostream>
#include <string_view>
#include <vector>

#include "commands.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return vktcli::RunCli(args, std::cout, std::cerr);
}

#include "usage.h"

#include "commands.h"

namespace vktcli {

namespace {

constexpr std::string_view kExitCodes =
    "Exit codes:\n"
    "  0  success\n"
    "  1  the camera call failed (or no such camera was found)\n"
    "  2  usage error\n"
    "  3  the library could not start\n";

}  // namespace

const std::string_view kSearchUsage =
    "Usage: vktcli search [--timeout MS] [--json]\n"
    "\n"
    "Finds the cameras on the local network by UDP broadcast and lists them.\n"
    "\n"
    "Options:\n"
    "  --timeout MS  how long to listen for answers, in milliseconds\n"
    "                (default 1000; the search may take up to 1.5 times this)\n"
    "  --json        print a JSON array instead of the table\n"
    "\n"
    "The NETMASK and GATEWAY columns show two address words whose meaning the\n"
    "camera defines; most cameras report their netmask and gateway there.\n"
    "In JSON they are addressWord1 and addressWord2.\n"
    "\n"
    "Prints \"no camera found\" (or [] with --json) when nothing answers.\n";

const std::string_view kAddUsage =
    "Usage: vktcli add --ip ADDRESS [--timeout MS] [--json]\n"
    "\n"
    "Adds the camera at ADDRESS (found by a search first) and shows the device\n"
    "record the search returned for it, then deletes it again.\n"
    "\n"
    "Options:\n"
    "  --ip ADDRESS   the camera's current IPv4 address\n"
    "  --timeout MS   how long the search lasts, and again how long adding\n"
    "                 the camera may take (default 1000)\n"
    "  --json         print the record as JSON\n";

const std::string_view kChangeIpUsage =
    "Usage: vktcli change-ip (--mac MAC | --from CURRENT_IP) --ip NEW_IP\n"
    "                        [--netmask A.B.C.D] [--gateway A.B.C.D]\n"
    "                        [--timeout MS] [--search-timeout MS]\n"
    "\n"
    "Gives a camera a new IPv4 address. The camera is first found by a search,\n"
    "by its MAC address or by the address it has now; the camera need not be\n"
    "reachable on its current address, since the change goes out by broadcast.\n"
    "\n"
    "Options:\n"
    "  --mac MAC            the camera's MAC, e.g. 00:1c:27:00:00:10\n"
    "  --from CURRENT_IP    the camera's current address\n"
    "  --ip NEW_IP          the new address\n"
    "  --netmask A.B.C.D    new first address word (the netmask on most\n"
    "                       cameras); default: keep the camera's value\n"
    "  --gateway A.B.C.D    new second address word (the gateway on most\n"
    "                       cameras); default: keep the camera's value\n"
    "  --timeout MS         how long to wait for the camera's confirmation\n"
    "                       (default 3000; 0 checks once)\n"
    "  --search-timeout MS  how long the search lasts (default 1000)\n"
    "\n"
    "On success prints \"changed MAC: OLD_IP -> NEW_IP\".\n";

std::string CommandHelp(std::string_view usage) {
  return std::string(usage) + "\n" + std::string(kExitCodes);
}

std::string OverviewUsage() {
  std::string text =
      "Usage: vktcli COMMAND [OPTIONS]\n"
      "       vktcli help [COMMAND]\n"
      "       vktcli COMMAND --help\n"
      "\n"
      "Commands:\n";
  for (const Command& command : AllCommands()) {
    std::string line = "  " + std::string(command.name);
    line.resize(14, ' ');
    text += line + std::string(command.summary) + "\n";
  }
  text += "\n";
  text += kExitCodes;
  return text;
}

}  // namespace vktcli

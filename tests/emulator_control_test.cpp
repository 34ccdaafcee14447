// The control channel's commands, as their table takes a line apart: the
// number of words, camera ids and subcommands, help listing every command
// it runs, and each command reaching the camera state of its own kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "control_commands.h"
#include "emulator.h"

namespace vktemu {
namespace {

class EmulatorControl : public ::testing::Test {
 protected:
  void SetUp() override {
    CameraConfig second;
    second.address = "127.0.0.11";
    ASSERT_EQ(emulator.addCamera(CameraConfig{}), 0);
    ASSERT_EQ(emulator.addCamera(second), 1);
  }

  Emulator emulator;
  int quits = 0;
  ControlCommands control{emulator, [this] { ++quits; }};
};

TEST_F(EmulatorControl, LinesAreTakenApartByWordsCamerasAndSubcommands) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "error empty command\n"},
      {" \t", "error empty command\n"},
      {"nosuch 0", "error unknown command nosuch\n"},
      {"faults", "error wrong number of arguments for faults\n"},
      {"faults 0 1", "error wrong number of arguments for faults\n"},
      {"faults 2", "error unknown camera 2\n"},
      {"faults -1", "error unknown camera -1\n"},
      {"faults x", "error unknown camera x\n"},
      {"fault 0 silent", "error wrong number of arguments for fault\n"},
      {"fault 9 silent 1", "error unknown camera 9\n"},
      // Two forms of one command: five words, or three ending in clear.
      {"cfault 0 nope", "error wrong number of arguments for cfault\n"},
      {"cfault 0 1 delayMs", "error wrong number of arguments for cfault\n"},
      {"cfault 9 clear", "error unknown camera 9\n"},
      {"cfault 0 clear delayMs 1", "error bad command clear\n"},
      {"snap 0 1 2", "error wrong number of arguments for snap\n"},
      {"sd 0", "error wrong number of arguments for sd\n"},
      {"sd 5 state", "error unknown camera 5\n"},
      {"sd 0 nope", "error unknown sd command nope\n"},
      {"sd 0 ls / x", "error wrong number of arguments for sd ls\n"},
      {"sd 0 state x", "error wrong number of arguments for sd state\n"},
      {"help x", "error wrong number of arguments for help\n"},
      {"listen 0 yes", "error expected on or off, got yes\n"},
      {"savedelay 0 3600001", "error bad delay 3600001\n"},
      {"sd 0 formattime -1", "error bad format time -1\n"},
      {"triggers 1 1001", "error bad rate 1001 (0..1000 per second)\n"},
      {"srate 1 nan", "error bad rate nan (0..1000 frames per second)\n"},
      {"ssize 1 8 4097 50", "error bad size 8x4097 (8..4096)\n"},
      {"picsize 1 8 8 0", "error bad quality 0 (1..100)\n"},
  };
  for (const auto& [line, reply] : cases) EXPECT_EQ(control.handle(line), reply) << "'" << line << "'";
  EXPECT_EQ(control.handle("list"),
            "ok 2\nid=0 address=127.0.0.10 mac=00:1c:27:00:00:10 port=30000 model=VKT-N2F0Kq\n"
            "id=1 address=127.0.0.11 mac=00:1c:27:00:00:10 port=30000 model=VKT-N2F0Kq\n.\n");
}

// help is built from the table: every usage it lists runs with the words it
// shows (no "unknown command", no "wrong number of arguments"), and every
// command scripts rely on is listed.
TEST_F(EmulatorControl, HelpListsEveryCommandAndEachRunsAsListed) {
  const std::string help = control.handle("help");
  ASSERT_EQ(help.rfind("ok ", 0), 0u) << help;
  ASSERT_EQ(help.back(), '\n');
  // Usages are separated by " | "; a '|' inside a word separates the
  // values a word takes ("on|off").
  const std::string list = help.substr(3, help.size() - 4);
  std::set<std::string> names;
  int listed = 0;
  for (size_t at = 0; at < list.size();) {
    const size_t end = std::min(list.find(" | ", at), list.size());
    std::stringstream words(list.substr(at, end - at));
    at = end + 3;
    ++listed;
    std::string word, line;
    while (words >> word) {
      if (word[0] == '[') continue;  // optional
      word = word.substr(0, word.find('|'));
      if (!line.empty()) line += ' ';
      line.append(word == "<id>" ? "0" : word[0] == '<' ? "1" : word);
    }
    const std::string name = line.substr(0, line.find(' '));
    names.insert(name);
    const std::string reply = control.handle(line);
    EXPECT_NE(reply, "error unknown command " + name + "\n") << line;
    EXPECT_EQ(reply.find("error wrong number of arguments"), std::string::npos) << line << ": " << reply;
  }
  EXPECT_EQ(quits, 1) << "quit is listed and runs its hook";
  for (const char* name : {"list",    "fault",  "faults", "traffic",  "clear",  "cfault",   "commands", "push",
                           "drop",    "listen", "temp",   "savedelay", "get",   "short",    "clock",    "ntpdelay",
                           "snap",    "trigger", "triggers", "pfault", "picsize", "pictures", "stream", "srate",
                           "ssize",   "spad",   "sfault", "frames",   "sd",     "quit"})
    EXPECT_EQ(names.count(name), 1u) << name << " missing from: " << help;
  EXPECT_GT(listed, 35);
}

TEST_F(EmulatorControl, EachFaultCommandReachesItsOwnFaults) {
  ASSERT_EQ(control.handle("fault 1 answerCopies 3"), "ok\n");
  ASSERT_EQ(control.handle("fault 1 silent on"), "ok\n");
  EXPECT_EQ(emulator.discoveryFaults(1).answerCopies, 3);
  EXPECT_EQ(emulator.discoveryFaults(0).answerCopies, 1) << "the other camera keeps its own";
  EXPECT_EQ(control.handle("faults 1"),
            "ok silent=1 answerDelayMs=0 answerCopies=3 answerLengthDelta=0 badKeyword=0 ignoreChangeIp=0 "
            "corruptEcho=0 echoDelayMs=0\n");

  ASSERT_EQ(control.handle("cfault 1 1016 delayMs 5"), "ok\n");
  ASSERT_EQ(control.handle("cfault 1 0 noReply on"), "ok\n");
  ASSERT_TRUE(emulator.commandFaults(1, 1016));
  EXPECT_EQ(emulator.commandFaults(1, 1016)->delayMs, 5);
  EXPECT_FALSE(emulator.commandFaults(1, 1016)->noReply) << "each command has a set of its own";
  ASSERT_TRUE(emulator.commandFaults(1, 0));
  EXPECT_TRUE(emulator.commandFaults(1, 0)->noReply);
  EXPECT_FALSE(emulator.commandFaults(0, 1016));
  ASSERT_EQ(control.handle("cfault 1 clear"), "ok\n");
  EXPECT_FALSE(emulator.commandFaults(1, 1016));
  EXPECT_FALSE(emulator.commandFaults(1, 0));

  ASSERT_EQ(control.handle("pfault 1 chunkBytes 7"), "ok\n");
  EXPECT_EQ(control.handle("pfault 1 chunkBytes x"), "error bad value x for chunkBytes\n");
  EXPECT_EQ(emulator.pushFaults(1).chunkBytes, 7u) << "a bad value changes nothing";
  EXPECT_EQ(control.handle("pfault 1 seed 1"), "error unknown push fault seed\n");
  ASSERT_EQ(control.handle("pfault 1 clear"), "ok\n");
  EXPECT_EQ(emulator.pushFaults(1).chunkBytes, 0u);

  ASSERT_EQ(control.handle("sfault 1 seed 9"), "ok\n");
  ASSERT_EQ(control.handle("sfault 1 totalLength 12"), "ok\n");
  EXPECT_EQ(emulator.streamFaults(1).seed, 9u);
  EXPECT_EQ(emulator.streamFaults(1).totalLength, 12u);
  ASSERT_EQ(control.handle("sfault 1 totalLength none"), "ok\n");
  EXPECT_FALSE(emulator.streamFaults(1).totalLength);
  ASSERT_EQ(control.handle("sfault 1 clear"), "ok\n");
  EXPECT_EQ(emulator.streamFaults(1).seed, StreamFaults{}.seed);
}

TEST_F(EmulatorControl, CommandsReachTheCameraTheyName) {
  ASSERT_EQ(control.handle("temp 1 -12.5"), "ok\n");
  EXPECT_EQ(emulator.currentValue(1, 200), 0x8000 | (100 << 5)) << "sign bit and 100 eighths of a degree";
  EXPECT_EQ(control.handle("get 1 200"), "ok value=" + std::to_string(0x8000 | (100 << 5)) + "\n");
  EXPECT_NE(emulator.currentValue(0, 200), emulator.currentValue(1, 200));
  EXPECT_EQ(control.handle("get 0 1016"), "ok record=7f00000a0000000000000000\n");

  ASSERT_EQ(control.handle("sd 1 card off"), "ok\n");
  EXPECT_EQ(emulator.sdCardState(1).status, 0);
  EXPECT_EQ(emulator.sdCardState(0).status, 1);
  EXPECT_EQ(control.handle("sd 1 ls"), "error no card\n");
  ASSERT_EQ(control.handle("sd 1 card on"), "ok\n");
  EXPECT_EQ(emulator.sdCardState(1).status, 1);

  ASSERT_EQ(control.handle("sd 0 listing 01ff"), "ok\n");
  ASSERT_EQ(control.handle("sd 0 clear"), "ok\n");
  EXPECT_TRUE(emulator.storedPictures(0).empty());
  EXPECT_FALSE(emulator.storedPictures(1).empty());
}

}  // namespace
}  // namespace vktemu

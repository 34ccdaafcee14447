// The command-line tool against the emulator program, both run as separate
// processes the way a field engineer or a script runs them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;

struct CliRun {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs vktcli in the current directory, or in `directory` when given.
CliRun RunCli(std::vector<std::string> args, const std::string& directory = "") {
  std::string command = VKT_CLI;
  for (const auto& a : args) command += " '" + a + "'";
  if (!directory.empty()) command = "cd '" + directory + "' && " + command;
  vkttest::Child child({"/bin/sh", "-c", command + " 2>&1"});
  CliRun run;
  run.output = child.ReadAll(20s);
  auto status = child.Wait(20s);
  if (status && WIFEXITED(*status)) run.exitCode = WEXITSTATUS(*status);
  return run;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Cli : public ::testing::Test {
 protected:
  // `controlPort` 0: no control channel.
  void StartEmulator(const std::vector<std::string>& cameras, int controlPort = 0) {
    std::vector<std::string> argv{VKT_EMULATOR, "--control", std::to_string(controlPort)};
    for (const auto& c : cameras) {
      argv.push_back("--camera");
      argv.push_back(c);
    }
    emulator_ = std::make_unique<vkttest::Child>(argv);
    ASSERT_EQ(emulator_->ReadLine(5s).value_or("no answer"), "ready");
  }
  std::unique_ptr<vkttest::Child> emulator_;
};

TEST_F(Cli, SearchPrintsATableOfTheCameras) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010",
                 "ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-R6E0Kp,port=30011"});
  CliRun run = RunCli({"search", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (const char* part : {"127.0.0.10", "127.0.0.11", "00:1c:27:00:00:10", "VKT-N2F0Kq", "VKT-R6E0Kp", "30011",
                           "INTERFACE", "  lo  "}) {
    EXPECT_TRUE(Contains(run.output, part)) << part << " missing in:\n" << run.output;
  }
}

TEST_F(Cli, SearchAsJson) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  CliRun run = RunCli({"search", "--json", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output.front(), '[');
  EXPECT_TRUE(Contains(run.output, "\"ip\": \"127.0.0.10\"") || Contains(run.output, "\"ip\":\"127.0.0.10\""))
      << run.output;
  EXPECT_TRUE(Contains(run.output, "\"mac\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "30010")) << run.output;
  // The namespace the tests run in has only loopback.
  EXPECT_TRUE(Contains(run.output, "\"interface\": \"lo\"")) << run.output;
}

TEST_F(Cli, SearchWithNoCameraSaysSo) {
  CliRun run = RunCli({"search", "--timeout", "100"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(Contains(run.output, "no camera found")) << run.output;
  run = RunCli({"search", "--json", "--timeout", "100"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, "[]\n");
}

TEST_F(Cli, ChangeIpMovesTheCamera) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  CliRun run = RunCli({"change-ip", "--mac", "00:1c:27:00:00:10", "--ip", "127.0.0.77", "--search-timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "127.0.0.10 -> 127.0.0.77")) << run.output;
  run = RunCli({"search", "--timeout", "300"});
  EXPECT_TRUE(Contains(run.output, "127.0.0.77")) << run.output;
}

TEST_F(Cli, FailuresNameTheErrorCode) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  CliRun run = RunCli({"change-ip", "--mac", "00:1c:27:00:00:99", "--ip", "127.0.0.78", "--search-timeout", "200"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.output, "VKT_ERR_CAMERA_NOT_FOUND")) << run.output;
}

TEST_F(Cli, AddShowsTheCamerasDeviceRecord) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-R6E0Kq,port=30010,name=gate-7"});
  CliRun run = RunCli({"add", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (const char* part : {"added camera 127.0.0.10", "00:1c:27:00:00:10", "VKT-R6E0Kq", "30010", "gate-7"}) {
    EXPECT_TRUE(Contains(run.output, part)) << part << " missing in:\n" << run.output;
  }
  run = RunCli({"add", "--ip", "127.0.0.99", "--timeout", "200"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.output, "VKT_ERR_CAMERA_NOT_FOUND")) << run.output;
}

TEST_F(Cli, SettingsReadAndWritten) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kp,port=30010"});
  CliRun run = RunCli({"set", "rotation", "270", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  run = RunCli({"get", "rotation", "--ip", "127.0.0.10", "--timeout", "300", "--json"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "270")) << run.output;
  run = RunCli({"set", "rotation", "45", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.output, "VKT_ERR_INVALID_PARAM")) << run.output;
  run = RunCli({"state", "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "temperature")) << run.output;
}

TEST_F(Cli, RecordJsonRoundTripsThroughAFile) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kp,port=30010"});
  CliRun run = RunCli({"set", "ae-param", "120", "-16", "--ip", "127.0.0.10", "--timeout", "300"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  run = RunCli({"get", "ae-param", "--json", "--ip", "127.0.0.10", "--timeout", "300"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "120") && Contains(run.output, "-16")) << run.output;
  const std::string path = testing::TempDir() + "ae-param.json";
  FILE* f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs(run.output.c_str(), f);
  fclose(f);
  run = RunCli({"set", "ae-param", "--json-file", path, "--ip", "127.0.0.10", "--timeout", "300"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
}

TEST_F(Cli, SnapSavesAJpegAndStreamCountsFrames) {
  StartEmulator({"ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"});
  const std::string path = testing::TempDir() + "snap.jpg";
  CliRun run = RunCli({"snap", "--ip", "127.0.0.10", "--timeout", "1000", "--out", path, "--value", "9"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "value: 9")) << run.output;
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char head[4] = {};
  EXPECT_EQ(fread(head, 1, 4, f), 4u);
  fclose(f);
  EXPECT_EQ(head[0], 0xFF);
  EXPECT_EQ(head[1], 0xD8);
  run = RunCli({"stream", "--ip", "127.0.0.10", "--timeout", "500", "--frames", "3"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "frames: 3")) << run.output;
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunCli({"frobnicate"}).exitCode, 2);
  EXPECT_EQ(RunCli({"search", "--timeout", "soon"}).exitCode, 2);
  EXPECT_EQ(RunCli({"change-ip", "--mac", "00:1c:27:00:00:10"}).exitCode, 2);
  EXPECT_EQ(RunCli({"add"}).exitCode, 2);
  EXPECT_EQ(RunCli({"add", "--ip", "camera-7"}).exitCode, 2);
  EXPECT_EQ(RunCli({"get", "no-such-setting", "--ip", "127.0.0.10"}).exitCode, 2);
  EXPECT_EQ(RunCli({"set", "ae-param", "1", "--ip", "127.0.0.10"}).exitCode, 2);
  EXPECT_EQ(RunCli({"set", "ae", "0x80000000", "--ip", "127.0.0.10"}).exitCode, 2);
  EXPECT_EQ(RunCli({"stats", "--watch"}).exitCode, 2);
  EXPECT_EQ(RunCli({"stats", "--count", "2", "--ip", "127.0.0.10"}).exitCode, 2);  // --count needs --watch
  EXPECT_EQ(RunCli({"stats", "--watch", "--count", "0", "--ip", "127.0.0.10"}).exitCode, 2);
  for (const std::vector<std::string>& sd : std::vector<std::vector<std::string>>{
           {"sd", "--ip", "127.0.0.10"}, {"sd", "eject", "--ip", "127.0.0.10"}, {"sd", "get", "--ip", "127.0.0.10"},
           {"sd", "ls", "20261209", "--ip", "127.0.0.10"}, {"sd", "ls", "/a", "/b", "--ip", "127.0.0.10"},
           {"sd", "rm", "/", "--ip", "127.0.0.10"}, {"sd", "rm", "/d/x.jpg", "--json", "--ip", "127.0.0.10"},
           {"sd", "pull", "/d", "--ip", "127.0.0.10"}, {"sd", "format", "--wait", "0", "--ip", "127.0.0.10"},
           {"sd", "state", "-o", "x", "--ip", "127.0.0.10"}, {"sd", "get", "//", "--ip", "127.0.0.10"},
           {"sd", "ls", "/" + std::string(256, 'a'), "--ip", "127.0.0.10"}, {"sd", "state"}}) {
    EXPECT_EQ(RunCli(sd).exitCode, 2) << sd[1] << " " << sd[2];
  }
  CliRun help = RunCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.output, "search")) << help.output;
}

// ---------------------------------------------------------------- SD card

constexpr int kControlPort = 34990;
const std::string kCameraIp = "127.0.0.10";

// The emulator's control channel: a command line out, its reply back.
class Control {
 public:
  explicit Control(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd_ >= 0 && connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~Control() {
    if (fd_ >= 0) close(fd_);
  }
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  bool connected() const { return connected_; }

  // The reply: its first line, or with `listing` every line up to ".".
  std::string Ask(const std::string& line, bool listing = false) {
    const std::string request = line + "\n";
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return "";
    const auto deadline = vkttest::Clock::now() + 5s;
    for (;;) {
      const bool errorReply = buffer_.starts_with("error");
      const std::size_t end = listing && !errorReply ? buffer_.find("\n.\n") : buffer_.find('\n');
      if (end != std::string::npos) {
        const std::size_t length = end + (listing && !errorReply ? 3 : 1);
        std::string reply = buffer_.substr(0, length);
        buffer_.erase(0, length);
        return reply;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - vkttest::Clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char chunk[65536];
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return "";
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

// "ok a=1 b=2" -> {a: 1, b: 2}
std::map<std::string, std::string> ReplyFields(const std::string& reply) {
  std::map<std::string, std::string> fields;
  std::istringstream words(reply.substr(0, reply.find('\n')));
  for (std::string word; words >> word;) {
    const std::size_t eq = word.find('=');
    if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return fields;
}

struct StoredEntry {
  long long value;
  std::string name;
};

// The entries of an "sd N ls" reply: "ok COUNT", "VALUE NAME" lines, ".".
std::vector<StoredEntry> ReplyEntries(const std::string& reply) {
  std::vector<StoredEntry> entries;
  std::istringstream lines(reply);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && line != ".") {
    const std::size_t blank = line.find(' ');
    entries.push_back({std::stoll(line.substr(0, blank)), line.substr(blank + 1)});
  }
  return entries;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  char digits[3];
  for (unsigned char byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  return hex;
}

std::string LittleEndianWord(std::int32_t value) {
  std::string word(4, '\0');
  for (int i = 0; i < 4; ++i) word[i] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
  return word;
}

// One emulated camera with its control channel, and a directory to work in.
class CliControlled : public Cli {
 protected:
  void SetUp() override {
    StartEmulator({"ip=" + kCameraIp + ",mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30010"}, kControlPort);
    control_ = std::make_unique<Control>(kControlPort);
    ASSERT_TRUE(control_->connected());
    char pattern[] = "/tmp/vktcli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    work_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    if (!work_.empty()) std::filesystem::remove_all(work_, ignored);
  }

  std::unique_ptr<Control> control_;
  std::filesystem::path work_;
};

class CliSd : public CliControlled {
 protected:

  CliRun Sd(std::vector<std::string> args, const std::string& directory = "") {
    args.insert(args.begin(), "sd");
    args.insert(args.end(), {"--ip", kCameraIp, "--timeout", "1000"});
    return RunCli(args, directory);
  }
  std::vector<StoredEntry> Stored(const std::string& path) {
    return ReplyEntries(control_->Ask("sd 0 ls " + path, true));
  }
  std::string StoredBytes(const std::string& path) {
    return FromHex(ReplyFields(control_->Ask("sd 0 get " + path))["hex"]);
  }
  // The first directory of the card and its pictures.
  std::pair<std::string, std::vector<StoredEntry>> FirstDirectory() {
    const std::vector<StoredEntry> root = Stored("/");
    if (root.empty()) return {};
    const std::string directory = "/" + root.front().name;
    return {directory, Stored(directory)};
  }
};

TEST_F(CliSd, StateAndListingsShowWhatTheCardHolds) {
  const auto state = ReplyFields(control_->Ask("sd 0 state"));
  CliRun run = Sd({"state"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output, "word0: " + state.at("status") + "\nword1: " + state.at("capacity") + "\nword2: " +
                            state.at("free") + "\n");
  run = Sd({"state", "--json"});
  EXPECT_EQ(run.output, "{\"word0\": " + state.at("status") + ", \"word1\": " + state.at("capacity") +
                            ", \"word2\": " + state.at("free") + "}\n");

  const std::vector<StoredEntry> root = Stored("/");
  ASSERT_GE(root.size(), 2u);
  run = Sd({"ls"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  for (const StoredEntry& directory : root) {
    EXPECT_TRUE(Contains(run.output, directory.name + "  directory\n")) << directory.name << " in\n" << run.output;
  }
  const auto [directory, pictures] = FirstDirectory();
  ASSERT_GE(pictures.size(), 3u);
  for (const std::string& path : {directory, directory + "/"}) {
    run = Sd({"ls", path});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const StoredEntry& picture : pictures) {
      EXPECT_TRUE(Contains(run.output, picture.name + "  " + std::to_string(picture.value) + " bytes\n"))
          << picture.name << " in\n" << run.output;
    }
  }
  run = Sd({"ls", directory, "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(run.output.starts_with("{\"path\": \"" + directory + "\", \"entries\": [{")) << run.output;
  for (const StoredEntry& picture : pictures) {
    EXPECT_TRUE(Contains(run.output, "{\"name\": \"" + picture.name + "\", \"value\": " +
                                         std::to_string(picture.value) + "}"))
        << picture.name << " in\n" << run.output;
  }
}

TEST_F(CliSd, GetWritesTheStoredBytes) {
  const auto [directory, pictures] = FirstDirectory();
  ASSERT_FALSE(pictures.empty());
  const std::string name = directory + "/" + pictures.front().name;
  const std::string stored = StoredBytes(name);
  ASSERT_EQ(stored.size(), static_cast<std::size_t>(pictures.front().value));

  CliRun run = Sd({"get", name, "-o", (work_ / "chosen.jpg").string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "size: " + std::to_string(stored.size()) + " bytes")) << run.output;
  EXPECT_EQ(Hex(ReadFile(work_ / "chosen.jpg")), Hex(stored));
  // Without -o: the picture's own name in the current directory.
  run = Sd({"get", name}, work_.string());
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadFile(work_ / pictures.front().name), stored);

  // Bigger than one read of the command channel, and replacing a file.
  ASSERT_TRUE(control_->Ask("sd 0 add /20270101/large.jpg 1500000").starts_with("ok")) << "add refused";
  const std::string large = StoredBytes("/20270101/large.jpg");
  ASSERT_GT(large.size(), 1000000u);
  run = Sd({"get", "/20270101/large.jpg", "--out", (work_ / "chosen.jpg").string(), "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"size\": " + std::to_string(large.size()))) << run.output;
  EXPECT_TRUE(ReadFile(work_ / "chosen.jpg") == large);

  run = Sd({"get", directory + "/no-such.jpg", "-o", (work_ / "missing.jpg").string()});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "VKT_GetJPGPic failed: VKT_ERR_")) << run.output;
  EXPECT_FALSE(std::filesystem::exists(work_ / "missing.jpg"));
}

TEST_F(CliSd, RmDeletesOnePicture) {
  const auto [directory, pictures] = FirstDirectory();
  ASSERT_GE(pictures.size(), 2u);
  const std::string gone = pictures.front().name;
  CliRun run = Sd({"rm", directory + "/" + gone});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output, "");
  const std::vector<StoredEntry> left = Stored(directory);
  ASSERT_EQ(left.size(), pictures.size() - 1);
  run = Sd({"ls", directory});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_FALSE(Contains(run.output, gone)) << run.output;
  for (const StoredEntry& picture : left) EXPECT_TRUE(Contains(run.output, picture.name)) << run.output;
  run = Sd({"rm", directory + "/" + gone});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "VKT_DeleteJPGPic failed: VKT_ERR_")) << run.output;
}

TEST_F(CliSd, PullWritesEveryPictureOfADirectory) {
  const auto [directory, pictures] = FirstDirectory();
  ASSERT_GE(pictures.size(), 3u);
  const std::filesystem::path into = work_ / "new" / "pulled";
  CliRun run = Sd({"pull", directory, into.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  long long total = 0;
  for (const StoredEntry& picture : pictures) {
    total += picture.value;
    EXPECT_TRUE(ReadFile(into / picture.name) == StoredBytes(directory + "/" + picture.name)) << picture.name;
  }
  EXPECT_TRUE(Contains(run.output, "pulled " + std::to_string(pictures.size()) + " files, " + std::to_string(total) +
                                       " bytes from " + directory))
      << run.output;
  // Off a terminal the progress is a line per picture, the last one complete.
  const std::string count = std::to_string(pictures.size());
  EXPECT_TRUE(Contains(run.output, "] " + count + "/" + count + " files, " + std::to_string(total) + "/" +
                                       std::to_string(total) + " bytes\n"))
      << run.output;

  // One picture that cannot be written: reported, the others still pulled.
  const std::filesystem::path again = work_ / "again";
  std::filesystem::create_directories(again / pictures[1].name);
  run = Sd({"pull", directory, again.string(), "--json"});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, directory + "/" + pictures[1].name + ": cannot write")) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"files\": " + std::to_string(pictures.size() - 1) + ", ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"failed\": 1")) << run.output;
  EXPECT_TRUE(ReadFile(again / pictures[0].name) == StoredBytes(directory + "/" + pictures[0].name));
  EXPECT_TRUE(ReadFile(again / pictures[2].name) == StoredBytes(directory + "/" + pictures[2].name));
}

// The names in a listing come from the camera: one that would leave DIR is
// refused, one that cannot be fetched is reported, and the rest still come.
TEST_F(CliSd, PullRefusesNamesThatLeaveTheDirectory) {
  ASSERT_TRUE(control_->Ask("sd 0 add /forged/real.jpg 5000").starts_with("ok"));
  const std::string real = StoredBytes("/forged/real.jpg");
  std::string listing = LittleEndianWord(1) + std::string("/forged") + '\0' + LittleEndianWord(4);
  const auto realSize = static_cast<std::int32_t>(real.size());
  for (const auto& [value, name] : std::vector<std::pair<std::int32_t, std::string>>{
           {10, "../escape.jpg"}, {-1, "sub"}, {10, "missing.jpg"}, {realSize, "real.jpg"}}) {
    listing += LittleEndianWord(value) + name + '\0';
  }
  ASSERT_TRUE(control_->Ask("sd 0 listing " + Hex(listing)).starts_with("ok"));
  const std::filesystem::path into = work_ / "inside";
  CliRun run = Sd({"pull", "/forged", into.string()});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "/forged/../escape.jpg: not a name")) << run.output;
  EXPECT_TRUE(Contains(run.output, "/forged/missing.jpg: VKT_GetJPGPic failed")) << run.output;
  EXPECT_TRUE(Contains(run.output, "pulled 1 file, " + std::to_string(real.size()) + " bytes")) << run.output;
  EXPECT_TRUE(Contains(run.output, "2 failed; skipped 1 entry")) << run.output;
  EXPECT_FALSE(std::filesystem::exists(work_ / "escape.jpg"));
  EXPECT_TRUE(ReadFile(into / "real.jpg") == real);
}

TEST_F(CliSd, FormatShowsProgressUpToTheEndAndEmptiesTheCard) {
  ASSERT_EQ(control_->Ask("sd 0 formattime 1200"), "ok\n");
  CliRun run = Sd({"format"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  // A line per change of the progress: several, rising, the last at 100.
  std::vector<int> progress;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("formatting [")) progress.push_back(std::stoi(line.substr(line.find(']') + 1)));
  }
  ASSERT_GE(progress.size(), 3u) << run.output;
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << run.output;
  EXPECT_EQ(progress.back(), 100) << run.output;
  const auto state = ReplyFields(control_->Ask("sd 0 state"));
  EXPECT_EQ(state.at("formats"), "1");
  EXPECT_EQ(state.at("pictures"), "0");
  EXPECT_TRUE(Contains(run.output, "progress: 100\nword0: " + state.at("status") + "\nword1: " +
                                       state.at("capacity") + "\nword2: " + state.at("free") + "\n"))
      << run.output;
  run = Sd({"ls"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(run.output, "no entries in /\n");

  // A format that outlasts --wait fails once the wait is over.
  ASSERT_EQ(control_->Ask("sd 0 formattime 20000"), "ok\n");
  const auto start = vkttest::Clock::now();
  run = Sd({"format", "--wait", "1"});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "did not finish within 1 s")) << run.output;
  EXPECT_LT(vkttest::MsSince(start), 8000);
}

TEST_F(CliSd, NoCardFailsWithTheLibrarysError) {
  ASSERT_EQ(control_->Ask("sd 0 card off"), "ok\n");
  CliRun run = Sd({"state"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(run.output.starts_with("word0: 0\n")) << run.output;
  run = Sd({"get", "/20261209/103015_001.jpg", "-o", (work_ / "x.jpg").string()});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "VKT_GetJPGPic failed: VKT_ERR_")) << run.output;
}

// ---------------------------------------------------------------- counters

using CliCounters = CliControlled;

// The count after `label` in `text` ("bad marker " in "...; bad marker 3, ..."),
// -1 when absent.
long long CountAfter(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos || at + label.size() >= text.size()) return -1;
  const char* digits = text.c_str() + at + label.size();
  if (*digits < '0' || *digits > '9') return -1;
  return std::strtoll(digits, nullptr, 10);
}

// The count under "key" in the first JSON group object "group" of `text`,
// -1 when absent.
long long JsonCount(const std::string& text, const std::string& group, const std::string& key) {
  const std::size_t object = text.find("\"" + group + "\": {");
  if (object == std::string::npos) return -1;
  return CountAfter(text.substr(object, text.find('}', object) - object), "\"" + key + "\": ");
}

TEST_F(CliCounters, StatsCountsTheCommandsOfThisRun) {
  CliRun run = RunCli({"stats", "--ip", kCameraIp, "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_GT(JsonCount(run.output, "commands", "sent"), 0) << run.output;
  EXPECT_EQ(JsonCount(run.output, "commands", "failed"), 0) << run.output;
  EXPECT_GE(JsonCount(run.output, "library", "discoveryDatagramsSkipped"), 0) << run.output;

  // Each report asks the camera once more, so its command count rises.
  run = RunCli({"stats", "--ip", kCameraIp, "--json", "--watch", "--count", "3"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  std::vector<long long> sent;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) sent.push_back(JsonCount(line, "commands", "sent"));
  ASSERT_EQ(sent.size(), 3u) << run.output;
  EXPECT_GT(sent[0], 0) << run.output;
  EXPECT_LT(sent[0], sent[1]) << run.output;
  EXPECT_LT(sent[1], sent[2]) << run.output;

  // A refused state request is reported and counted; the counters still come.
  ASSERT_EQ(control_->Ask("cfault 0 1300 status -1"), "ok\n");
  run = RunCli({"stats", "--ip", kCameraIp});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "VKT_GetState failed")) << run.output;
  EXPECT_EQ(CountAfter(run.output, "refusals "), 1) << run.output;
  EXPECT_EQ(CountAfter(run.output, "failed "), 1) << run.output;
}

TEST_F(CliCounters, StatsWatchReportsAsItGoesAndEndsOnSigterm) {
  vkttest::Child watch({VKT_CLI, "stats", "--ip", kCameraIp, "--watch", "--json", "--timeout", "300"});
  // Well before a pipe's buffer would fill with several reports: each one
  // reaches the reader when it is made.
  const std::optional<std::string> first = watch.ReadLine(4s);
  ASSERT_TRUE(first.has_value()) << "no report within 4 s";
  EXPECT_GT(JsonCount(*first, "commands", "sent"), 0) << *first;
  watch.Kill(SIGTERM);
  const std::optional<int> status = watch.Wait(10s);
  ASSERT_TRUE(status.has_value()) << "still running after SIGTERM";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
}

TEST_F(CliCounters, ListenShowsPicturesDroppedForABadMarker) {
  ASSERT_EQ(control_->Ask("pfault 0 badMarker 1"), "ok\n");
  ASSERT_EQ(control_->Ask("triggers 0 10"), "ok\n");
  CliRun run = RunCli({"listen", "--ip", kCameraIp, "--duration", "2", "--dir", work_.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "; total 0;")) << run.output;
  EXPECT_GT(CountAfter(run.output, kCameraIp + " picture drops: bad marker "), 0) << run.output;
  EXPECT_EQ(CountAfter(run.output, "short APP1 "), 0) << run.output;
}

TEST_F(CliCounters, StreamShowsFramesDroppedByTheLibrary) {
  ASSERT_EQ(control_->Ask("sfault 0 lossRate 0.1"), "ok\n");
  CliRun run = RunCli({"stream", "--ip", kCameraIp, "--seconds", "2", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_GT(JsonCount(run.output, "streamDrops", "gap"), 0) << run.output;
  EXPECT_EQ(JsonCount(run.output, "ignoredDatagrams", "sender"), 0) << run.output;

  // When every frame is dropped the reason still shows.
  ASSERT_EQ(control_->Ask("sfault 0 clear"), "ok\n");
  ASSERT_EQ(control_->Ask("sfault 0 totalLength 5000000"), "ok\n");
  run = RunCli({"stream", "--ip", kCameraIp, "--seconds", "1"});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "no frame arrived")) << run.output;
  EXPECT_GT(CountAfter(run.output, "stream drops: gap 0, past last 0, oversize "), 0) << run.output;
}

TEST_F(Cli, RefusedWhileAnotherProcessUsesTheLibrary) {
  vkttest::Child holder({VKT_INSTANCE_PROBE, "hold"});
  ASSERT_EQ(holder.ReadLine(5s).value_or("no answer"), "0");
  CliRun run = RunCli({"search", "--timeout", "100"});
  EXPECT_EQ(run.exitCode, 3) << run.output;
}

}  // namespace

// The emulated camera's SD card, driven over its command port with a plain
// socket: listing layout, fetch, delete, format, pictures the camera takes,
// the listing override, large replies under faults and the control
// channel's sd commands.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "control_commands.h"
#include "emulator.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kState = 1200, kFormat = 1205, kProgress = 1206, kList = 1210, kFetch = 1216, kDelete = 1217;

uint32_t Le32(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void AppendLe32(Bytes& out, int32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

void AppendText(Bytes& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// A 256-byte name field at `at` of a zeroed request of `size` bytes.
Bytes NameRequest(size_t size, size_t at, std::string_view text) {
  Bytes out(size, 0);
  std::memcpy(out.data() + at, text.data(), text.size());
  return out;
}
Bytes ListRequest(std::string_view path) { return NameRequest(264, 0, path); }
Bytes FetchRequest(std::string_view path) { return NameRequest(260, 4, path); }
Bytes DeleteRequest(std::string_view path) { return NameRequest(264, 0, path); }

Bytes Pattern(size_t size) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(i * 31 + i / 251);
  return out;
}

bool IsJpeg(const Bytes& bytes) {
  return bytes.size() > 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[bytes.size() - 2] == 0xFF &&
         bytes.back() == 0xD9;
}

struct Reply {
  int32_t command = 0, sequence = 0, status = 0, value = 0;
  uint32_t length = 0;
  Bytes payload;
};

// One TCP connection to a camera's command port; every read has a deadline.
class CommandClient {
 public:
  CommandClient(const std::string& address, uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~CommandClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool Connected() const { return fd_ >= 0; }

  void Send(int32_t command, const Bytes& payload = {}) {
    Bytes message;
    for (int32_t word : {257, 0, command, ++sequence_, 0, static_cast<int32_t>(payload.size()), 0})
      AppendLe32(message, word);
    message.insert(message.end(), payload.begin(), payload.end());
    ASSERT_EQ(send(fd_, message.data(), message.size(), MSG_NOSIGNAL), static_cast<ssize_t>(message.size()));
  }

  // Up to `n` bytes; fewer when the camera closes or the deadline passes.
  Bytes Read(size_t n, std::chrono::milliseconds timeout = 5s) {
    Bytes out(n);
    size_t got = 0;
    const auto deadline = vkttest::Clock::now() + timeout;
    while (got < n) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - vkttest::Clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      const ssize_t r = recv(fd_, out.data() + got, n - got, 0);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
  }

  std::optional<Reply> ReadReply() {
    const Bytes header = Read(28);
    if (header.size() != 28) return std::nullopt;
    Reply reply{static_cast<int32_t>(Le32(header, 8)), static_cast<int32_t>(Le32(header, 12)),
                static_cast<int32_t>(Le32(header, 16)), static_cast<int32_t>(Le32(header, 24)), Le32(header, 20), {}};
    if (reply.length > (64u << 20)) return std::nullopt;
    reply.payload = Read(reply.length);
    if (reply.payload.size() != reply.length) return std::nullopt;
    return reply;
  }

  Reply Exchange(int32_t command, const Bytes& payload = {}) {
    Send(command, payload);
    auto reply = ReadReply();
    EXPECT_TRUE(reply) << "no whole reply to " << command;
    if (!reply) {
      Reply none;
      none.status = 999999;
      return none;
    }
    EXPECT_EQ(reply->command, command);
    EXPECT_EQ(reply->sequence, sequence_);
    return *reply;
  }

  // Says whether the camera closed the connection (within the deadline).
  bool ClosedByPeer(std::chrono::milliseconds timeout = 2s) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    uint8_t byte = 0;
    return recv(fd_, &byte, 1, 0) == 0;
  }

 private:
  int fd_ = -1;
  int32_t sequence_ = 0;
};

class EmulatorSdCard : public ::testing::Test {
 protected:
  void SetUp() override {
    vktemu::CameraConfig config;
    config.address = "127.0.0.10";
    config.commandPort = 30010;
    id = emulator.addCamera(config);
    std::string error;
    ASSERT_TRUE(emulator.start(&error)) << error;
    client = std::make_unique<CommandClient>(config.address, config.commandPort);
    ASSERT_TRUE(client->Connected());
  }

  vktemu::Emulator emulator;
  int id = -1;
  std::unique_ptr<CommandClient> client;
};

TEST_F(EmulatorSdCard, ListingLayoutIsByteExact) {
  emulator.clearStoredPictures(id);
  emulator.addStoredPicture(id, "/20260101/000001_001.jpg", Bytes(3, 1));
  emulator.addStoredPicture(id, "/20260101/000000_002.jpg", Bytes(5, 2));
  emulator.addStoredPicture(id, "/20251231/235959_003.jpg", Bytes(1000, 3));

  Bytes root;
  AppendLe32(root, 1);
  AppendText(root, "/");
  AppendLe32(root, 2);
  AppendLe32(root, -1);
  AppendText(root, "20251231");
  AppendLe32(root, -1);
  AppendText(root, "20260101");
  Reply reply = client->Exchange(kList, ListRequest("/"));
  EXPECT_EQ(reply.status, 0);
  EXPECT_EQ(reply.payload, root);

  // The path goes back as asked; "" is the root too.
  reply = client->Exchange(kList, ListRequest(""));
  ASSERT_EQ(reply.status, 0);
  ASSERT_GE(reply.payload.size(), 6u);
  EXPECT_EQ(Bytes(reply.payload.begin() + 4, reply.payload.begin() + 6), Bytes({0, 2}));

  Bytes directory;
  AppendLe32(directory, 1);
  AppendText(directory, "/20260101/");
  AppendLe32(directory, 2);
  AppendLe32(directory, 5);
  AppendText(directory, "000000_002.jpg");
  AppendLe32(directory, 3);
  AppendText(directory, "000001_001.jpg");
  reply = client->Exchange(kList, ListRequest("/20260101/"));
  EXPECT_EQ(reply.status, 0);
  EXPECT_EQ(reply.payload, directory);
  EXPECT_EQ(reply.length, directory.size());

  for (const char* unknown : {"/20990101", "/20260101/000000_002.jpg", "/x/y"}) {
    reply = client->Exchange(kList, ListRequest(unknown));
    EXPECT_EQ(reply.status, -3) << unknown;
    EXPECT_TRUE(reply.payload.empty()) << unknown;
  }
  // Malformed requests: another size, a path with no end.
  EXPECT_EQ(client->Exchange(kList, Bytes(263, 0)).status, -3);
  EXPECT_EQ(client->Exchange(kList, Bytes(264, 'a')).status, -3);
  EXPECT_EQ(client->Exchange(kState, Bytes(4, 0)).status, -3);
  EXPECT_EQ(client->Exchange(kProgress, Bytes(1, 0)).status, -3);
  EXPECT_EQ(client->Exchange(kFormat, Bytes(1, 0)).status, -3);
  EXPECT_EQ(emulator.formatCount(id), 0u);
}

TEST_F(EmulatorSdCard, SeedSetIsDeterministicJpegsInTwoDirectories) {
  const auto paths = emulator.storedPictures(id);
  ASSERT_EQ(paths.size(), 6u);
  vktemu::Emulator other;
  vktemu::CameraConfig config;
  config.address = "127.0.0.11";
  ASSERT_EQ(other.addCamera(config), 0);
  ASSERT_EQ(other.storedPictures(0), paths);

  const Reply root = client->Exchange(kList, ListRequest("/"));
  ASSERT_EQ(root.status, 0);
  EXPECT_EQ(Le32(root.payload, 6), 2u) << "two directories";
  for (const auto& path : paths) {
    const Reply fetched = client->Exchange(kFetch, FetchRequest(path));
    ASSERT_EQ(fetched.status, 0) << path;
    EXPECT_TRUE(IsJpeg(fetched.payload)) << path;
    EXPECT_EQ(fetched.payload, other.storedPicture(0, path).value_or(Bytes{})) << path;
  }
}

TEST_F(EmulatorSdCard, FetchAndDeleteByFullPath) {
  const Bytes big = Pattern(5u << 20);
  emulator.addStoredPicture(id, "/20270202/120000_001.jpg", big);
  Reply reply = client->Exchange(kFetch, FetchRequest("/20270202/120000_001.jpg"));
  EXPECT_EQ(reply.status, 0);
  EXPECT_EQ(reply.length, big.size());
  EXPECT_TRUE(reply.payload == big);
  reply = client->Exchange(kFetch, FetchRequest("20270202/120000_001.jpg"));
  EXPECT_TRUE(reply.payload == big) << "the leading '/' is optional";

  for (const char* unknown : {"/20270202/nope.jpg", "/20270202", "/", ""}) {
    reply = client->Exchange(kFetch, FetchRequest(unknown));
    EXPECT_EQ(reply.status, -3) << unknown;
    EXPECT_TRUE(reply.payload.empty()) << unknown;
  }
  EXPECT_EQ(client->Exchange(kFetch, Bytes(264, 0)).status, -3);

  // Free space counts whole MiB left.
  const auto before = client->Exchange(kState).payload;
  ASSERT_EQ(before.size(), 12u);
  EXPECT_EQ(Le32(before, 0), 1u);
  EXPECT_EQ(Le32(before, 4), 32768u);

  EXPECT_EQ(client->Exchange(kDelete, DeleteRequest("/20270202/120000_001.jpg")).status, 0);
  EXPECT_FALSE(emulator.storedPicture(id, "/20270202/120000_001.jpg"));
  EXPECT_EQ(client->Exchange(kDelete, DeleteRequest("/20270202/120000_001.jpg")).status, -3);
  EXPECT_EQ(client->Exchange(kList, ListRequest("/20270202")).status, -3) << "an emptied directory goes";
  const auto after = client->Exchange(kState).payload;
  EXPECT_EQ(Le32(after, 8), Le32(before, 8) + 5) << "5 MiB freed";

  emulator.clearStoredPictures(id);
  emulator.addStoredPicture(id, "/d/a.jpg", Bytes((3u << 20) + 1, 0));
  EXPECT_EQ(Le32(client->Exchange(kState).payload, 8), 32768u - 4);
}

TEST_F(EmulatorSdCard, FormatRunsItsTimeThenLeavesAnEmptyCard) {
  // The card is not looked at before the format: its seed set must not
  // appear afterwards either.
  emulator.setFormatDuration(id, 600ms);
  EXPECT_EQ(client->Exchange(kProgress).value, 100) << "no format under way";
  const std::string seeded = "/20261208/081502_001.jpg";

  const auto started = vkttest::Clock::now();
  EXPECT_EQ(client->Exchange(kFormat).status, 0);
  EXPECT_EQ(client->Exchange(kFormat).status, -2) << "busy";
  EXPECT_EQ(Le32(client->Exchange(kState).payload, 0), 2u);
  EXPECT_EQ(client->Exchange(kList, ListRequest("/")).payload, Bytes(4, 0)) << "no tree while formatting";
  EXPECT_EQ(client->Exchange(kFetch, FetchRequest(seeded)).status, -2);
  EXPECT_EQ(client->Exchange(kDelete, DeleteRequest(seeded)).status, -2);
  // Pictures taken meanwhile are not stored.
  emulator.setPictureSize(id, 64, 48, 50);
  emulator.snapshot(id, 1);
  ASSERT_TRUE(vkttest::WaitFor([&] { return !emulator.pushedPictures(id).empty(); }, 5s));

  std::vector<int32_t> seen;
  ASSERT_TRUE(vkttest::WaitFor(
      [&] {
        seen.push_back(client->Exchange(kProgress).value);
        return seen.back() == 100;
      },
      5s));
  const auto took = vkttest::MsSince(started);
  EXPECT_GE(took, 550);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](int32_t p) { return p > 0 && p < 100; }));

  const auto state = client->Exchange(kState).payload;
  EXPECT_EQ(Le32(state, 0), 1u);
  EXPECT_EQ(Le32(state, 8), 32768u);
  const Reply root = client->Exchange(kList, ListRequest("/"));
  EXPECT_EQ(root.status, 0);
  EXPECT_EQ(Le32(root.payload, 6), 0u);
  EXPECT_TRUE(emulator.storedPictures(id).empty()) << "the seed set does not come back";
  EXPECT_EQ(emulator.formatCount(id), 1u);
}

TEST_F(EmulatorSdCard, WithoutACardNothingIsReachableUntilItComesBack) {
  emulator.setSdCardPresent(id, false);
  EXPECT_EQ(client->Exchange(kState).payload, Bytes(12, 0));
  EXPECT_EQ(client->Exchange(kList, ListRequest("/")).payload, Bytes(4, 0));
  const auto paths = emulator.storedPictures(id);
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(client->Exchange(kFetch, FetchRequest(paths[0])).status, -3);
  EXPECT_EQ(client->Exchange(kDelete, DeleteRequest(paths[0])).status, -3);
  EXPECT_EQ(client->Exchange(kFormat).status, -1);
  emulator.setSdCardPresent(id, true);
  EXPECT_EQ(client->Exchange(kFetch, FetchRequest(paths[0])).status, 0);
  EXPECT_EQ(emulator.formatCount(id), 0u);
}

TEST_F(EmulatorSdCard, PushedSnapshotIsStoredUnderTheCameraClocksDate) {
  emulator.setPictureSize(id, 64, 48, 50);
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t size = sizeof local;
  getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
  Bytes target(8, 0);
  std::memcpy(target.data(), &local.sin_addr.s_addr, 4);
  std::memcpy(target.data() + 4, &local.sin_port, 2);
  ASSERT_EQ(client->Exchange(1080, target).status, 0);

  EXPECT_EQ(client->Exchange(102).status, 0);
  ASSERT_TRUE(emulator.waitForPictures(id, 1, 5s));
  close(listener);
  const auto pushed = emulator.pushedPictures(id).back().bytes;
  ASSERT_GE(pushed.size(), 76u);
  const auto seconds = static_cast<time_t>(static_cast<int32_t>(Le32(pushed, 48)));
  std::tm tm{};
  ASSERT_TRUE(localtime_r(&seconds, &tm));
  char expected[64];
  std::strftime(expected, sizeof expected, "/%Y%m%d/%H%M%S_001.jpg", &tm);
  EXPECT_EQ(emulator.storedPicture(id, expected).value_or(Bytes{}), pushed) << expected;
  const Reply fetched = client->Exchange(kFetch, FetchRequest(expected));
  EXPECT_EQ(fetched.payload, pushed);
}

TEST_F(EmulatorSdCard, ListingOverrideGoesOutVerbatim) {
  Bytes hostile;
  AppendLe32(hostile, 1);
  AppendText(hostile, "/");
  AppendLe32(hostile, 0x7FFFFFFF);
  hostile.resize(3000, 0xEE);
  emulator.setListingOverride(id, hostile);
  for (const char* path : {"/", "/no-such-directory"}) {
    const Reply reply = client->Exchange(kList, ListRequest(path));
    EXPECT_EQ(reply.status, 0) << path;
    EXPECT_EQ(reply.length, hostile.size()) << path;
    EXPECT_EQ(reply.payload, hostile) << path;
  }
  emulator.setListingOverride(id, std::nullopt);
  EXPECT_EQ(client->Exchange(kList, ListRequest("/no-such-directory")).status, -3);
}

TEST_F(EmulatorSdCard, CommandFaultsApplyToLargeReplies) {
  const Bytes big = Pattern(2u << 20);
  emulator.addStoredPicture(id, "/20270303/000000_001.jpg", big);

  vktemu::CommandFaults faults;
  faults.announcedLength = 3u << 20;
  emulator.setCommandFaults(id, kFetch, faults);
  Reply reply = client->Exchange(kFetch, FetchRequest("/20270303/000000_001.jpg"));
  EXPECT_EQ(reply.length, 3u << 20);
  EXPECT_EQ(reply.payload, Bytes(3u << 20, 0xAB)) << "the announcement is backed by filler";

  faults = {};
  faults.closeAfterBytes = 28 + 5000;
  emulator.setCommandFaults(id, kFetch, faults);
  client->Send(kFetch, FetchRequest("/20270303/000000_001.jpg"));
  const Bytes cut = client->Read(28 + big.size(), 3s);
  ASSERT_EQ(cut.size(), 28u + 5000);
  EXPECT_EQ(Le32(cut, 20), big.size());
  EXPECT_TRUE(std::equal(cut.begin() + 28, cut.end(), big.begin()));
  EXPECT_TRUE(client->ClosedByPeer());

  // A delete forced to fail leaves the picture.
  CommandClient again("127.0.0.10", 30010);
  ASSERT_TRUE(again.Connected());
  faults = {};
  faults.status = -1;
  emulator.setCommandFaults(id, kDelete, faults);
  EXPECT_EQ(again.Exchange(kDelete, DeleteRequest("/20270303/000000_001.jpg")).status, -1);
  EXPECT_TRUE(emulator.storedPicture(id, "/20270303/000000_001.jpg"));
}

TEST_F(EmulatorSdCard, StoreDropsTheOldestPastItsLimits) {
  emulator.clearStoredPictures(id);
  for (int i = 0; i <= 10000; ++i) emulator.addStoredPicture(id, "/d/" + std::to_string(100000 + i), Bytes(1, 0));
  const auto paths = emulator.storedPictures(id);
  EXPECT_EQ(paths.size(), 10000u);
  EXPECT_EQ(paths.front(), "/d/100001");
  EXPECT_EQ(paths.back(), "/d/110000");

  emulator.clearStoredPictures(id);
  emulator.addStoredPicture(id, "/d/first", Bytes(40u << 20, 1));
  emulator.addStoredPicture(id, "/d/second", Bytes(40u << 20, 2));
  EXPECT_EQ(emulator.storedPictures(id), std::vector<std::string>{"/d/second"});

  EXPECT_THROW(emulator.addStoredPicture(id, "/d/e/f", {}), std::invalid_argument);
  EXPECT_THROW(emulator.addStoredPicture(id, "/" + std::string(260, 'x') + "/y", {}), std::invalid_argument);
}

TEST_F(EmulatorSdCard, ControlChannelCommands) {
  vktemu::ControlCommands control(emulator, nullptr);
  const std::string added = control.handle("sd 0 add /20270404/080000_001.jpg 5000");
  ASSERT_EQ(added.rfind("ok bytes=", 0), 0u) << added;
  const auto stored = emulator.storedPicture(id, "/20270404/080000_001.jpg");
  ASSERT_TRUE(stored);
  EXPECT_GE(stored->size(), 5000u);
  EXPECT_LT(stored->size(), 5000u + 4);
  EXPECT_TRUE(IsJpeg(*stored));
  EXPECT_EQ(added, "ok bytes=" + std::to_string(stored->size()) + "\n");
  EXPECT_EQ(control.handle("sd 0 ls /20270404"), "ok 1\n" + std::to_string(stored->size()) + " 080000_001.jpg\n.\n");
  EXPECT_EQ(control.handle("sd 0 ls /nowhere"), "error no directory /nowhere\n");

  EXPECT_EQ(control.handle("sd 0 listing 01ff"), "ok\n");
  EXPECT_EQ(client->Exchange(kList, ListRequest("/")).payload, Bytes({0x01, 0xFF}));
  EXPECT_EQ(control.handle("sd 0 listing 0"), "error bad hex 0\n");
  EXPECT_EQ(control.handle("sd 0 listing none"), "ok\n");

  EXPECT_EQ(control.handle("sd 0 card off"), "ok\n");
  EXPECT_EQ(control.handle("sd 0 state"), "ok status=0 capacity=0 free=0 pictures=7 formats=0\n");
  EXPECT_EQ(control.handle("sd 0 ls"), "error no card\n");
  EXPECT_EQ(control.handle("sd 0 card on"), "ok\n");
  EXPECT_EQ(control.handle("sd 0 formattime 0"), "ok\n");
  EXPECT_EQ(client->Exchange(kFormat).status, 0);
  EXPECT_EQ(control.handle("sd 0 ls /"), "ok 0\n.\n") << "a format of no duration is over at once";
  EXPECT_EQ(control.handle("sd 1 state"), "error unknown camera 1\n");
  EXPECT_EQ(control.handle("sd 0 add /x 10"), "error bad path /x (/DIRECTORY/NAME)\n");
}

}  // namespace

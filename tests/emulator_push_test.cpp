// The emulated camera's picture push seen from a plain receiving socket:
// stuck connections (a few bytes, then silence without a close), how many a
// camera holds at once, and the small send buffer of an embedded sender.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "control_commands.h"
#include "emulator.h"
// The emulator's, not the tests' picture_sender.h of the same name.
#include "../tools/emulator/picture_sender.h"
#include "sockets.h"
#include "test_support.h"
#include "wire.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using vktemu::UniqueFd;

constexpr const char* kCameraAddress = "127.0.0.10";
constexpr uint16_t kCommandPort = 30020;

// A listening socket on 127.0.0.1, port of the system's choosing.
UniqueFd Listen(int receiveBuffer = 0) {
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (receiveBuffer > 0) setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(fd.get(), 4096) != 0)
    fd.reset();
  return fd;
}

sockaddr_in LocalAddress(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return address;
}

sockaddr_in PeerAddress(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return address;
}

bool Readable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

std::optional<UniqueFd> Accept(int listener, std::chrono::milliseconds timeout) {
  if (!Readable(listener, timeout)) return std::nullopt;
  UniqueFd fd(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  return fd;
}

// Up to n bytes; fewer when the peer closes or the deadline passes.
Bytes ReadUpTo(int fd, size_t n, std::chrono::milliseconds timeout) {
  Bytes out(n);
  size_t got = 0;
  const auto deadline = vkttest::Clock::now() + timeout;
  while (got < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - vkttest::Clock::now());
    if (left.count() <= 0 || !Readable(fd, left)) break;
    const ssize_t r = recv(fd, out.data() + got, n - got, 0);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  out.resize(got);
  return out;
}

// Nothing more to read and no end of stream: the peer holds the connection.
bool HeldSilently(int fd) {
  uint8_t byte = 0;
  return recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

// The peer closed (end of stream or reset) within the deadline.
bool ClosedByPeer(int fd, std::chrono::milliseconds timeout) {
  if (!Readable(fd, timeout)) return false;
  uint8_t byte = 0;
  return recv(fd, &byte, 1, 0) <= 0;
}

// The descriptor of this process whose socket has this local address: the
// camera's end of a connection, since the emulator runs in process.
int SocketWithLocalAddress(const sockaddr_in& wanted) {
  int found = -1;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(dir)) {
      const int fd = std::atoi(e->d_name);
      if (e->d_name[0] == '.') continue;
      sockaddr_in local{};
      socklen_t size = sizeof local;
      if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0 && local.sin_family == AF_INET &&
          local.sin_addr.s_addr == wanted.sin_addr.s_addr && local.sin_port == wanted.sin_port)
        found = fd;
    }
    closedir(dir);
  }
  return found;
}

int SendBuffer(int fd) {
  int value = 0;
  socklen_t size = sizeof value;
  return getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &value, &size) == 0 ? value : -1;
}

class EmulatorPush : public ::testing::Test {
 protected:
  void SetUp() override {
    vktemu::CameraConfig config;
    config.address = kCameraAddress;
    config.commandPort = kCommandPort;
    id = emulator.addCamera(config);
    emulator.setPictureSize(id, 64, 48, 50);
    std::string error;
    ASSERT_TRUE(emulator.start(&error)) << error;
    listener = Listen();
    ASSERT_TRUE(listener.valid());
    ASSERT_NO_FATAL_FAILURE(Register(LocalAddress(listener.get())));
  }

  // Command 1080 on a connection of its own: push to `to`.
  void Register(const sockaddr_in& to) {
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in camera{};
    camera.sin_family = AF_INET;
    camera.sin_port = htons(kCommandPort);
    inet_pton(AF_INET, kCameraAddress, &camera.sin_addr);
    ASSERT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&camera), sizeof camera), 0);
    Bytes request(28 + 8, 0);
    const uint32_t words[] = {257, 0, 1080, 1, 0, 8, 0};
    for (size_t i = 0; i < 7; ++i)
      for (size_t b = 0; b < 4; ++b) request[i * 4 + b] = static_cast<uint8_t>(words[i] >> (8 * b));
    std::memcpy(request.data() + 28, &to.sin_addr.s_addr, 4);
    std::memcpy(request.data() + 32, &to.sin_port, 2);
    ASSERT_EQ(send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    const Bytes reply = ReadUpTo(fd.get(), 28, 5s);
    ASSERT_EQ(reply.size(), 28u);
    ASSERT_EQ(reply[16] | reply[17] | reply[18] | reply[19], 0) << "registration refused";
  }

  vktemu::Emulator emulator;
  int id = -1;
  UniqueFd listener;
};

TEST_F(EmulatorPush, StuckPushSendsExactlyItsBytesThenHoldsWithoutClosingUntilStop) {
  vktemu::ControlCommands control(emulator, nullptr);
  ASSERT_EQ(control.handle("pfault 0 stuckAfter 100"), "ok\n");
  EXPECT_EQ(emulator.pushFaults(id).stuckAfter, 100u);
  emulator.trigger(id, 7);
  auto stuck = Accept(listener.get(), 5s);
  ASSERT_TRUE(stuck);
  ASSERT_TRUE(emulator.waitForHeldConnections(id, 1, 5s));
  const Bytes received = ReadUpTo(stuck->get(), 101, 300ms);
  ASSERT_EQ(received.size(), 100u) << "exactly the stuck bytes, and nothing after them";
  EXPECT_TRUE(HeldSilently(stuck->get())) << "no end of stream while held";
  EXPECT_EQ(received[0], 0xFF);
  EXPECT_EQ(received[1], 0xD8);
  const auto pushed = emulator.pushedPictures(id);
  ASSERT_EQ(pushed.size(), 1u);
  EXPECT_TRUE(pushed[0].completed) << pushed[0].error;
  EXPECT_EQ(pushed[0].bytes, received);
  EXPECT_EQ(emulator.picturesPushed(id), 1u) << "a stuck push counts as pushed";
  EXPECT_EQ(control.handle("pictures 0"), "ok pushed=1 snapshots=0 last=100 held=1\n");

  // A smaller sendBytes wins; a stuck size beyond the picture holds the
  // whole picture.
  ASSERT_EQ(control.handle("pfault 0 sendBytes 40"), "ok\n");
  emulator.trigger(id, 8);
  auto shorter = Accept(listener.get(), 5s);
  ASSERT_TRUE(shorter);
  ASSERT_TRUE(emulator.waitForHeldConnections(id, 2, 5s));
  EXPECT_EQ(ReadUpTo(shorter->get(), 41, 300ms).size(), 40u);
  ASSERT_EQ(control.handle("pfault 0 sendBytes none"), "ok\n");
  ASSERT_EQ(control.handle("pfault 0 stuckAfter 100000000"), "ok\n");
  emulator.trigger(id, 9);
  auto whole = Accept(listener.get(), 5s);
  ASSERT_TRUE(whole);
  ASSERT_TRUE(emulator.waitForHeldConnections(id, 3, 5s));
  const size_t size = emulator.pushedPictures(id).back().bytes.size();
  const Bytes all = ReadUpTo(whole->get(), size, 5s);
  ASSERT_EQ(all.size(), size);
  EXPECT_EQ(all[size - 2], 0xFF);
  EXPECT_EQ(all[size - 1], 0xD9);
  EXPECT_TRUE(HeldSilently(whole->get()));

  // Cleared faults push and close again; the held ones stay held.
  ASSERT_EQ(control.handle("pfault 0 clear"), "ok\n");
  emulator.trigger(id, 10);
  auto normal = Accept(listener.get(), 5s);
  ASSERT_TRUE(normal);
  ASSERT_TRUE(emulator.waitForPictures(id, 4, 5s));
  const size_t normalSize = emulator.pushedPictures(id).back().bytes.size();
  EXPECT_EQ(ReadUpTo(normal->get(), normalSize, 5s).size(), normalSize);
  EXPECT_TRUE(ClosedByPeer(normal->get(), 5s));
  EXPECT_EQ(emulator.heldConnections(id), 3u);
  EXPECT_TRUE(HeldSilently(stuck->get()));

  emulator.stop();
  EXPECT_EQ(emulator.heldConnections(id), 0u);
  for (const UniqueFd* fd : {&*stuck, &*shorter, &*whole}) EXPECT_TRUE(ClosedByPeer(fd->get(), 5s));
}

TEST_F(EmulatorPush, CameraHoldsAThousandStuckConnectionsAndDropsTheOldestPastThem) {
  constexpr size_t kHeld = 1024;
  // Both ends of every connection live in this process.
  rlimit files{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
  if (files.rlim_cur < 2 * kHeld + 256) {
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 2 * kHeld + 256);
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 2 * kHeld + 256) GTEST_SKIP() << "too few descriptors allowed: " << files.rlim_cur;
  }
  vktemu::PushFaults faults;
  faults.stuckAfter = 64;
  emulator.setPushFaults(id, faults);
  // One at a time: the camera's queue of waiting pictures is shorter.
  std::vector<UniqueFd> accepted;
  while (accepted.size() < kHeld) {
    emulator.trigger(id, static_cast<int32_t>(accepted.size()));
    auto next = Accept(listener.get(), 10s);
    ASSERT_TRUE(next) << "accepted " << accepted.size();
    accepted.push_back(std::move(*next));
  }
  ASSERT_TRUE(emulator.waitForHeldConnections(id, kHeld, 30s)) << emulator.heldConnections(id);
  EXPECT_EQ(emulator.picturesPushed(id), kHeld);
  for (size_t i = 0; i < kHeld; ++i) {
    ASSERT_EQ(ReadUpTo(accepted[i].get(), 64, 5s).size(), 64u) << i;
    ASSERT_TRUE(HeldSilently(accepted[i].get())) << i;
  }

  // One more: the first connection goes, the rest stay.
  emulator.trigger(id, -1);
  auto extra = Accept(listener.get(), 10s);
  ASSERT_TRUE(extra);
  ASSERT_TRUE(emulator.waitForPictures(id, kHeld + 1, 10s));
  EXPECT_TRUE(ClosedByPeer(accepted[0].get(), 5s));
  EXPECT_EQ(emulator.heldConnections(id), kHeld);
  for (size_t i = 1; i < kHeld; ++i) ASSERT_TRUE(HeldSilently(accepted[i].get())) << i;
}

// Triggers at a rate: each pushes a picture whose record names a trigger
// (word 0) and carries the trigger's number (word 12). The rate and the
// numbering go on across a stop and start of the emulator.
TEST_F(EmulatorPush, TriggersCarryTheirNumbersAndKeepTheirRateAcrossARestart) {
  auto nextTrigger = [&](int listenerFd) -> std::optional<std::pair<uint32_t, uint32_t>> {
    auto connection = Accept(listenerFd, 5s);
    if (!connection) return std::nullopt;
    const Bytes head = ReadUpTo(connection->get(), 48, 5s);
    if (head.size() < 48) return std::nullopt;
    auto word = [&](size_t at) {
      return static_cast<uint32_t>(head[at] | head[at + 1] << 8 | head[at + 2] << 16 | head[at + 3] << 24);
    };
    return std::pair{word(32), word(44)};
  };
  emulator.startTriggers(id, 100);
  for (uint32_t number = 1; number <= 3; ++number) {
    const auto picture = nextTrigger(listener.get());
    ASSERT_TRUE(picture) << number;
    EXPECT_EQ(picture->first, 2u) << "a trigger's picture";
    EXPECT_EQ(picture->second, number);
  }

  emulator.stop();
  std::string error;
  ASSERT_TRUE(emulator.start(&error)) << error;
  UniqueFd second = Listen();
  ASSERT_TRUE(second.valid());
  ASSERT_NO_FATAL_FAILURE(Register(LocalAddress(second.get())));
  const auto after = nextTrigger(second.get());
  ASSERT_TRUE(after) << "the rate set before the restart still holds";
  EXPECT_EQ(after->first, 2u);
  EXPECT_GT(after->second, 3u) << "the numbers go on";
  emulator.stopTriggers(id);
}

TEST_F(EmulatorPush, SendBufferIsSetOnThePictureConnection) {
  vktemu::ControlCommands control(emulator, nullptr);
  ASSERT_EQ(control.handle("pfault 0 stuckAfter 10"), "ok\n");
  // The camera's end of each held connection is found by the peer address
  // the receiver sees.
  auto cameraSendBuffer = [&]() {
    emulator.trigger(id, 1);
    auto connection = Accept(listener.get(), 5s);
    if (!connection) return -1;
    const int camera = SocketWithLocalAddress(PeerAddress(connection->get()));
    return camera < 0 ? -1 : SendBuffer(camera);
  };
  const int systemDefault = cameraSendBuffer();
  ASSERT_GT(systemDefault, 8192);
  ASSERT_EQ(control.handle("pfault 0 sendBufferBytes 4096"), "ok\n");
  EXPECT_EQ(cameraSendBuffer(), 2 * 4096) << "the kernel doubles what it is given";
  ASSERT_EQ(control.handle("pfault 0 sendBufferBytes 0"), "ok\n");
  EXPECT_EQ(cameraSendBuffer(), systemDefault);
}

// A receiver that reads nothing: what the sender gets rid of before it
// stalls is its own buffer and the receiver's, so a small send buffer keeps
// most of a large picture with the sender.
TEST(EmulatorPushSender, SmallSendBufferBoundsTheBytesInFlight) {
  UniqueFd receiver = Listen(4096);
  ASSERT_TRUE(receiver.valid());
  int wake[2];
  ASSERT_EQ(pipe(wake), 0);
  UniqueFd wakeRead(wake[0]), wakeWrite(wake[1]);
  const Bytes picture(4u << 20, 0x5A);
  auto inFlight = [&](int sendBuffer) {
    vktemu::SendPlan plan;
    plan.to = LocalAddress(receiver.get());
    plan.from = *vktemu::wire::parseIpv4("127.0.0.1");
    plan.sendBufferBytes = sendBuffer;
    plan.stallTimeout = 300ms;
    vktemu::SendOutcome outcome = vktemu::sendPicture(plan, picture, wakeRead.get());
    EXPECT_FALSE(outcome.done);
    EXPECT_NE(outcome.error.find("took nothing"), std::string::npos) << outcome.error;
    auto accepted = Accept(receiver.get(), 1s);  // closed unread once counted
    return outcome.sent;
  };
  const size_t small = inFlight(4096);
  const size_t usual = inFlight(0);
  EXPECT_GT(small, 0u);
  EXPECT_LT(small, 64u * 1024) << "the send buffer's bound, and the receiver's";
  EXPECT_GT(usual, 2 * small) << "the system's growing buffer takes far more";
}

}  // namespace

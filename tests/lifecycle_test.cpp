// Starting and stopping the library: the version rules, the receiver
// threads, the picture port, the one-process rule and calls that race a
// close.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkttest::Clock;
using vkttest::MsSince;

constexpr int kReceiverThreads = 8 + 4;

class Lifecycle : public ::testing::Test {
 protected:
  void TearDown() override { VKT_Close(); }
};

// A TCP connection to the picture port on loopback; -1 if refused.
int ConnectToPicturePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(34660);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST_F(Lifecycle, OnlyVersion257Starts) {
  int v = 0;
  EXPECT_EQ(VKT_Init(256, &v), 1);
  EXPECT_EQ(v, 257);
  v = 0;
  EXPECT_EQ(VKT_Init(258, &v), 1);
  EXPECT_EQ(v, 257);
  v = 0;
  EXPECT_EQ(VKT_Init(257, &v), 0);
  EXPECT_EQ(v, 257);
  // Already started: 0, and the version is not examined again.
  v = 0;
  EXPECT_EQ(VKT_Init(257, &v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(VKT_Init(1, &v), 0);
  EXPECT_EQ(v, 0);
}

TEST_F(Lifecycle, NullSupportedVersionIsAllowed) {
  EXPECT_EQ(VKT_Init(100, nullptr), 1);
  EXPECT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0);
}

TEST_F(Lifecycle, CloseInAnyOrderAnyNumberOfTimes) {
  EXPECT_EQ(VKT_Close(), 0);
  EXPECT_EQ(VKT_Close(), 0);
  ASSERT_EQ(VKT_Init(257, nullptr), 0);
  EXPECT_EQ(VKT_Close(), 0);
  EXPECT_EQ(VKT_Close(), 0);
  // A refused version creates nothing, so there is nothing to close.
  EXPECT_EQ(VKT_Init(300, nullptr), 1);
  EXPECT_EQ(VKT_Close(), 0);
}

TEST_F(Lifecycle, ReceiverThreadsRunOnlyWhileStarted) {
  const int before = vkttest::SettledThreadCount();
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(VKT_Init(257, nullptr), 0);
    EXPECT_EQ(vkttest::ThreadCount(), before + kReceiverThreads);
    ASSERT_EQ(VKT_Close(), 0);
    // Joined, not merely told to stop.
    EXPECT_EQ(vkttest::ThreadCount(), before);
  }
}

TEST_F(Lifecycle, PicturePortListensAndClosesUnknownSendersUnread) {
  EXPECT_EQ(ConnectToPicturePort(), -1) << "nothing listens before the start";
  ASSERT_EQ(VKT_Init(257, nullptr), 0);
  int fd = ConnectToPicturePort();
  ASSERT_GE(fd, 0);
  const char bytes[] = "not a camera";
  (void)send(fd, bytes, sizeof bytes, MSG_NOSIGNAL);
  timeval tv{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  char c;
  // No camera is registered: the library closes the connection.
  EXPECT_LE(recv(fd, &c, 1, 0), 0);
  close(fd);
  ASSERT_EQ(VKT_Close(), 0);
  EXPECT_EQ(ConnectToPicturePort(), -1) << "the port is closed with the library";
}

TEST_F(Lifecycle, StartsWhenPicturePortIsTaken) {
  int blocker = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(34660);
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(blocker, 1), 0);
  const int before = vkttest::SettledThreadCount();
  EXPECT_EQ(VKT_Init(257, nullptr), 0);
  EXPECT_EQ(vkttest::ThreadCount(), before + kReceiverThreads);
  EXPECT_EQ(VKT_Close(), 0);
  close(blocker);
}

TEST_F(Lifecycle, CloseIsPromptWhilePeersHoldConnectionsOpen) {
  ASSERT_EQ(VKT_Init(257, nullptr), 0);
  std::vector<int> held;
  for (int i = 0; i < 20; ++i) {
    int fd = ConnectToPicturePort();
    if (fd >= 0) held.push_back(fd);
  }
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop) {
      int fd = ConnectToPicturePort();
      if (fd >= 0) close(fd);
    }
  });
  auto start = Clock::now();
  EXPECT_EQ(VKT_Close(), 0);
  EXPECT_LT(MsSince(start), 1000);
  stop = true;
  churn.join();
  for (int fd : held) close(fd);
}

TEST_F(Lifecycle, SetLogOutputWorksWhetherOrNotStarted) {
  EXPECT_EQ(SetLogOutput(), 0);
  ASSERT_EQ(VKT_Init(257, nullptr), 0);
  EXPECT_EQ(SetLogOutput(), 0);
  ASSERT_EQ(VKT_Close(), 0);
  EXPECT_EQ(SetLogOutput(), 0);
}

TEST_F(Lifecycle, CallsRacingCloseCompleteOrReportNotStarted) {
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0};
  auto caller = [&](int which) {
    DeviceRecord records[4];
    ChangeIPParam param{};
    while (!stop) {
      int count = -1;
      int result = which == 0 ? VKT_SearchCamera(records, 4, &count, 0) : VKT_ChangeCameraIP(&param, 0);
      int error = VKT_GetLastError();
      bool ok = which == 0 ? (result == 0 && error == VKT_OK) : (result == 1 && error == VKT_ERR_TIMEOUT);
      if (!ok && !(result == 1 && error == VKT_ERR_NOT_STARTED)) ++unexpected;
    }
  };
  std::thread a(caller, 0), b(caller, 1);
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(VKT_Init(257, nullptr), 0);
    ASSERT_EQ(VKT_Close(), 0);
  }
  stop = true;
  a.join();
  b.join();
  EXPECT_EQ(unexpected.load(), 0);
}

TEST_F(Lifecycle, ConcurrentInitAndCloseLeaveNothingRunning) {
  const int before = vkttest::SettledThreadCount();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        if ((i + t) % 2 == 0) {
          EXPECT_EQ(VKT_Init(257, nullptr), 0);
        } else {
          EXPECT_EQ(VKT_Close(), 0);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(VKT_Close(), 0);
  EXPECT_EQ(vkttest::ThreadCount(), before);
}

TEST_F(Lifecycle, AnotherProcessIsRefusedWhileThisOneLives) {
  // This process loaded the library first, so it holds the name even while
  // the library is not started.
  for (bool started : {false, true}) {
    if (started) {
      ASSERT_EQ(VKT_Init(257, nullptr), 0);
    }
    vkttest::Child probe({VKT_INSTANCE_PROBE});
    ASSERT_TRUE(probe.Started());
    EXPECT_EQ(probe.ReadLine(5s).value_or("none"), "-1");
    ASSERT_TRUE(probe.Wait(5s).has_value());
  }
}

}  // namespace

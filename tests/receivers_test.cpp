// The receiver threads behind the picture port and the stream ports: port
// fallback, connections closed unread, and a prompt stop under load.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"
#include "api/library.h"
#include "picture/picture_receiver.h"
#include "stream/recv_stream_thread.h"
#include "stream/stream_pool.h"
#include "test_support.h"

namespace {

using vkttest::Clock;
using vkttest::MsSince;

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

int Connect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A listening socket on a port of the system's choosing.
int ListenAnywhere(uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(fd, 1);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

TEST(PictureReceiver, ListensOnTheWantedPortWhenFree) {
  vkt::Library& library = vkt::Library::Instance();
  ASSERT_EQ(library.Init(257, nullptr), 0);
  ASSERT_NE(library.Pictures(), nullptr);
  EXPECT_EQ(library.Pictures()->ListenPort(), 34660);
  EXPECT_EQ(library.Close(), 0);
}

TEST(PictureReceiver, FallsBackToAPortOfTheSystemsChoiceAndAnnouncesIt) {
  uint16_t taken = 0;
  int blocker = ListenAnywhere(taken);
  vkt::PictureReceiver receiver;
  ASSERT_TRUE(receiver.Start(taken, 2));
  EXPECT_NE(receiver.ListenPort(), taken);
  EXPECT_NE(receiver.ListenPort(), 0);
  // What it announces is where it really listens; unknown senders are closed.
  int fd = Connect(receiver.ListenPort());
  ASSERT_GE(fd, 0);
  timeval tv{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  char c;
  EXPECT_EQ(recv(fd, &c, 1, 0), 0);
  close(fd);
  receiver.Stop();
  close(blocker);
}

TEST(PictureReceiver, StopIsPromptAndIdempotent) {
  const int before = vkttest::SettledThreadCount();
  vkt::PictureReceiver receiver;
  ASSERT_TRUE(receiver.Start(0, 8));
  EXPECT_EQ(vkttest::ThreadCount(), before + 8);
  std::vector<int> held;
  for (int i = 0; i < 16; ++i) held.push_back(Connect(receiver.ListenPort()));
  auto start = Clock::now();
  receiver.Stop();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(vkttest::ThreadCount(), before);
  receiver.Stop();
  for (int fd : held) close(fd);
}

TEST(StreamPool, EachReceiverHasItsOwnPortAndStopsPromptlyUnderAFlood) {
  const int before = vkttest::SettledThreadCount();
  vkt::StreamPool pool;
  ASSERT_TRUE(pool.Start(4));
  ASSERT_EQ(pool.Size(), 4u);
  EXPECT_EQ(vkttest::ThreadCount(), before + 4);
  std::set<uint16_t> ports;
  for (size_t i = 0; i < pool.Size(); ++i) {
    EXPECT_TRUE(pool.Worker(i)->HasSocket());
    ports.insert(pool.Worker(i)->LocalPort());
  }
  EXPECT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports.count(0), 0u);

  std::atomic<bool> stop{false};
  std::atomic<long> sent{0};
  std::vector<std::thread> flooders;
  for (uint16_t port : ports) {
    flooders.emplace_back([&, port] {
      int fd = socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in to = Loopback(port);
      std::vector<char> sizes[] = {std::vector<char>(1024, 'x'), std::vector<char>(1023, 'y'),
                                   std::vector<char>(9000, 'z')};
      for (int i = 0; !stop; ++i) {
        auto& d = sizes[i % 3];
        if (sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) > 0) ++sent;
      }
      close(fd);
    });
  }
  ASSERT_TRUE(vkttest::WaitFor([&] { return sent.load() > 1000; }, std::chrono::seconds(5)));
  auto start = Clock::now();
  pool.Stop();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(vkttest::ThreadCount(), before + static_cast<int>(flooders.size()));
  stop = true;
  for (auto& f : flooders) f.join();
}

TEST(StreamPool, ReceiverWithoutSocketWaitsForItsStopWithoutSpinning) {
  vkt::CRecvStreamThread worker;  // never opened: no socket
  ASSERT_FALSE(worker.HasSocket());
  ASSERT_TRUE(worker.Start());
  clock_t cpuBefore = clock();
  // Give a spinning thread the chance to show up in the CPU time.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  clock_t cpuUsed = clock() - cpuBefore;
  auto start = Clock::now();
  worker.RequestStop();
  worker.Join();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_LT(cpuUsed, CLOCKS_PER_SEC / 20) << "the receiver spun on its missing socket";
}

}  // namespace

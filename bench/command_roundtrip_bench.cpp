// Command round trips per second: the library's command exchange (call
// frame, command lock, request, reply checks) against a raw client of plain
// blocking sockets doing the same 28-byte ping-pong with the same fake
// camera, side by side in one run. Prints both rates and their ratio.
//
// Run it in a private network namespace: tools/netns-run build/bench/command_roundtrip_bench
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"
#include "api/call_frame.h"
#include "fake_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
using vktbench::Median;
constexpr uint16_t kPort = 30500;
constexpr auto kRound = std::chrono::milliseconds(1500);
constexpr int kRounds = 5;

std::string CameraAddress(int i) { return "127.0.0." + std::to_string(10 + i); }

// One raw client: connect, then send a header and read the reply, again and again.
long RawClient(int camera, const std::atomic<bool>& stop) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kPort);
  inet_pton(AF_INET, CameraAddress(camera).c_str(), &addr.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  int32_t header[7] = {257, 0, 704, 0, 0, 0, 0};
  long count = 0;
  while (!stop.load(std::memory_order_relaxed)) {
    header[3] = static_cast<int32_t>(count);
    if (send(fd, header, sizeof header, MSG_NOSIGNAL) != sizeof header) break;
    uint8_t reply[28];
    size_t got = 0;
    while (got < sizeof reply) {
      ssize_t n = recv(fd, reply + got, sizeof reply - got, 0);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (got != sizeof reply) break;
    ++count;
  }
  close(fd);
  return count;
}

// One library client: the same command through the call frame and the
// camera's command exchange.
long LibraryClient(int handle, const std::atomic<bool>& stop) {
  long count = 0;
  while (!stop.load(std::memory_order_relaxed)) {
    int result = vkt::RunCameraCall(handle, 3000, [](vkt::CameraContext& camera, uint32_t ms) {
      return camera.Exchange(vkt::Request{704}, ms);
    });
    if (result != 0) return -1;
    ++count;
  }
  return count;
}

template <typename Client>
double RunRound(int threads, Client client) {
  std::atomic<bool> stop{false};
  std::vector<long> counts(static_cast<size_t>(threads));
  std::vector<std::thread> workers;
  auto start = Clock::now();
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] { counts[static_cast<size_t>(t)] = client(t, stop); });
  }
  std::this_thread::sleep_for(kRound);
  stop = true;
  for (auto& w : workers) w.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  long total = 0;
  for (long c : counts) {
    if (c < 0) return -1;
    total += c;
  }
  return static_cast<double>(total) / seconds;
}

}  // namespace

int main() {
  const auto cameras = vktbench::StartFakeCameras(4, CameraAddress, kPort);
  if (cameras.empty()) return 1;
  if (VKT_Init(VKT_SDK_VERSION, nullptr) != 0) {
    std::fprintf(stderr, "VKT_Init failed\n");
    return 1;
  }
  std::vector<int> handles;
  for (int i = 0; i < 4; ++i) {
    const DeviceRecord record = vktbench::FakeCameraRecord(CameraAddress(i), kPort, i, "VKT-N2F0Kq");
    int handle = VKT_AddCamera(&record, nullptr, 1000);
    if (handle == -1) {
      std::fprintf(stderr, "VKT_AddCamera failed: 0x%08x\n", static_cast<unsigned>(VKT_GetLastError()));
      return 1;
    }
    handles.push_back(handle);
  }

  int status = 0;
  std::printf("%-22s %14s %14s %7s\n", "case", "raw (ops/s)", "library (ops/s)", "ratio");
  for (int threads : {1, 4}) {
    // Alternate the two clients so drifts of a shared machine hit both alike.
    std::vector<double> raw, library;
    for (int round = 0; round < kRounds; ++round) {
      raw.push_back(RunRound(threads, RawClient));
      library.push_back(RunRound(threads, [&](int t, const std::atomic<bool>& stop) {
        return LibraryClient(handles[static_cast<size_t>(t)], stop);
      }));
    }
    double r = Median(raw), l = Median(library);
    if (r <= 0 || l <= 0) {
      std::fprintf(stderr, "a client failed\n");
      return 1;
    }
    std::printf("%d thread(s), %d camera(s) %14.0f %14.0f %7.3f\n", threads, threads, r, l, l / r);
    if (l / r < 0.9) status = 2;
  }
  VKT_Close();
  return status;
}

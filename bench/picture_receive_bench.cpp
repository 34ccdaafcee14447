// Pictures per second and MB/s delivered to a picture callback, against a
// raw receiver of the same shape (8 threads sharing a listening socket,
// accept, read to the announced length), with the same senders, side by
// side in one run. Prints both rates and their ratio per picture size; exit
// status 2 when a ratio is below 0.95.
//
// Run it in a private network namespace: tools/netns-run build/bench/picture_receive_bench
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"
#include "api/library.h"
#include "fake_camera.h"
#include "picture_sender.h"

namespace {

using Clock = std::chrono::steady_clock;
using vktbench::Median;
constexpr int kCameras = 4;
constexpr uint16_t kCommandPort = 30600;
constexpr uint16_t kRawPort = 34700;
constexpr auto kRound = std::chrono::milliseconds(1500);
constexpr int kRounds = 5;  // alternating, so load that comes and goes hits both alike

std::string CameraAddress(int i) { return "127.0.0." + std::to_string(20 + i); }

std::atomic<long> g_pictures{0};
std::atomic<long> g_bytes{0};

void CountPicture(char*, int length, PictureInfo*, int) {
  g_pictures.fetch_add(1, std::memory_order_relaxed);
  g_bytes.fetch_add(length, std::memory_order_relaxed);
}

std::vector<uint8_t> Picture(size_t size) {
  std::vector<uint8_t> b(size, 0x5A);
  const uint8_t head[24] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0,
                            0xFF, 0xE1, 0, 54};
  std::memcpy(b.data(), head, sizeof head);
  const uint32_t total = static_cast<uint32_t>(size);
  std::memcpy(b.data() + 36, &total, 4);
  return b;
}

// One camera pushing pictures back to back, one connection each.
void Sender(int camera, uint16_t port, const std::vector<uint8_t>& picture, const std::atomic<bool>& stop) {
  while (!stop.load(std::memory_order_relaxed)) {
    const int fd = vkttest::ConnectFrom(CameraAddress(camera), port);
    if (fd >= 0) {
      vkttest::SendAll(fd, picture.data(), picture.size());
      // Wait for the receiver to close, so a picture is counted once read.
      char c;
      (void)recv(fd, &c, 1, 0);
      close(fd);
    }
  }
}

// The raw receiver: what a plain program would do with the same sockets.
class RawReceiver {
 public:
  RawReceiver() {
    listener_ = vktbench::BoundSocket(SOCK_STREAM, "", kRawPort, true);
    listen(listener_, SOMAXCONN);
    for (int i = 0; i < 8; ++i) threads_.emplace_back([this] { Run(); });
  }
  ~RawReceiver() {
    shutdown(listener_, SHUT_RDWR);
    for (auto& t : threads_) t.join();
    close(listener_);
  }

 private:
  void Run() {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[4 * 1024 * 1024]);
    for (;;) {
      int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      size_t got = 0, total = 0;
      for (;;) {
        ssize_t n = recv(fd, buffer.get() + got, 4 * 1024 * 1024 - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
        if (total == 0 && got >= 40) std::memcpy(&total, buffer.get() + 36, 4);
        if (total != 0 && got == total) {
          CountPicture(nullptr, static_cast<int>(total), nullptr, 0);
          break;
        }
      }
      close(fd);
    }
  }
  int listener_;
  std::vector<std::thread> threads_;
};

struct Rate {
  double pictures, megabytes;
};

Rate RunRound(uint16_t port, const std::vector<uint8_t>& picture) {
  g_pictures = 0;
  g_bytes = 0;
  std::atomic<bool> stop{false};
  std::vector<std::thread> senders;
  auto start = Clock::now();
  for (int c = 0; c < kCameras; ++c) senders.emplace_back(Sender, c, port, std::cref(picture), std::cref(stop));
  std::this_thread::sleep_for(kRound);
  const long pictures = g_pictures.load(), bytes = g_bytes.load();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  stop = true;
  for (auto& s : senders) s.join();
  return {pictures / seconds, bytes / seconds / 1e6};
}

}  // namespace

int main(int argc, char** argv) {
  const auto cameras = vktbench::StartFakeCameras(kCameras, CameraAddress, kCommandPort);
  if (cameras.empty()) return 1;
  if (VKT_Init(VKT_SDK_VERSION, nullptr) != 0) return 1;
  for (int i = 0; i < kCameras; ++i) {
    const DeviceRecord record = vktbench::FakeCameraRecord(CameraAddress(i), kCommandPort, i, "VKT-N2F0Kq");
    if (VKT_AddCamera(&record, CountPicture, 1000) == -1) return 1;
  }
  const uint16_t libraryPort = vkt::Library::Instance().PictureListenPort();
  RawReceiver raw;

  int status = 0;
  std::printf("%-10s %12s %12s %12s %12s %7s\n", "size", "raw pic/s", "raw MB/s", "lib pic/s", "lib MB/s", "ratio");
  // Picture sizes in bytes from the command line, or the usual three.
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {64u * 1024, 512u * 1024, 4u * 1024 * 1024};
  for (size_t size : sizes) {
    const auto picture = Picture(size);
    std::vector<double> rawPics, rawMb, libPics, libMb;
    for (int round = 0; round < kRounds; ++round) {
      Rate r = RunRound(kRawPort, picture);
      Rate l = RunRound(libraryPort, picture);
      rawPics.push_back(r.pictures);
      rawMb.push_back(r.megabytes);
      libPics.push_back(l.pictures);
      libMb.push_back(l.megabytes);
    }
    const double ratio = Median(libPics) / Median(rawPics);
    std::printf("%-10zu %12.0f %12.1f %12.0f %12.1f %7.3f\n", size, Median(rawPics), Median(rawMb), Median(libPics),
                Median(libMb), ratio);
    if (ratio < 0.95) status = 2;
  }
  VKT_Close();
  return status;
}

// The highest frame rate delivered with under 1% loss, for 1 and 4
// concurrent streams of 256 KiB frames: the library's stream receivers
// against a raw UDP receiver doing the same reassembly (same frame
// assembler, one thread per stream, a 4 MiB socket buffer), with the same
// senders, in one run. Prints both rates and their ratio.
//
// Run it in a private network namespace: tools/netns-run build/bench/stream_receive_bench
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"
#include "fake_camera.h"
#include "stream/frame_assembler.h"
#include "stream_packets.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kCommandPort = 30700;
constexpr uint32_t kFrameSize = 256 * 1024;
constexpr auto kTrial = std::chrono::milliseconds(500);

std::string CameraAddress(int i) { return "127.0.0." + std::to_string(30 + i); }

std::atomic<long> g_frames[4];

void CountFrame(char*, int, StreamInfo*, int user) { g_frames[user].fetch_add(1, std::memory_order_relaxed); }

// Sends frames at `fps` from the camera's address for one trial; frames sent.
long SendFrames(int stream, uint16_t port, double fps, const std::vector<std::vector<uint8_t>>& packets) {
  vkttest::Sender sender(CameraAddress(stream), port);
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps));
  const auto end = Clock::now() + kTrial;
  long sent = 0;
  for (auto next = Clock::now(); next < end; next += period) {
    std::this_thread::sleep_until(next);
    sender.Send(packets);
    ++sent;
  }
  return sent;
}

// The raw receiver of one stream.
class RawStream {
 public:
  explicit RawStream(int index) : index_(index), buffer_(new uint8_t[vkt::stream::kMaxFrame]), assembler_(buffer_.get()) {
    fd_ = vktbench::BoundSocket(SOCK_DGRAM, "", 0);
    int size = 4 * 1024 * 1024;
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~RawStream() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  uint16_t Port() const { return port_; }

 private:
  void Run() {
    uint8_t packet[1025];
    sockaddr_in from{};
    const uint32_t camera = ntohl(inet_addr(CameraAddress(index_).c_str()));
    for (;;) {
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n <= 0) return;
      if (n != 1024 || ntohl(from.sin_addr.s_addr) != camera) continue;
      if (assembler_.Feed(packet)) CountFrame(nullptr, 0, nullptr, index_);
    }
  }
  int index_;
  int fd_;
  uint16_t port_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  vkt::stream::FrameAssembler assembler_;
  std::thread thread_;
};

// Whether `streams` streams at `fps` each lose under 1% of their frames.
bool Holds(int streams, double fps, const std::vector<uint16_t>& ports, const std::vector<std::vector<uint8_t>>& packets) {
  for (auto& f : g_frames) f = 0;
  std::vector<long> sent(static_cast<size_t>(streams));
  std::vector<std::thread> senders;
  for (int s = 0; s < streams; ++s) {
    senders.emplace_back([&, s] { sent[static_cast<size_t>(s)] = SendFrames(s, ports[static_cast<size_t>(s)], fps, packets); });
  }
  for (auto& t : senders) t.join();
  // Let the receivers drain what is still buffered.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int s = 0; s < streams; ++s) {
    if (static_cast<double>(g_frames[s].load()) < 0.99 * static_cast<double>(sent[static_cast<size_t>(s)])) return false;
  }
  return true;
}

// The highest rate that holds, searched upwards in steps of a quarter.
double HighestRate(int streams, const std::vector<uint16_t>& ports, const std::vector<std::vector<uint8_t>>& packets) {
  double best = 0;
  for (double fps = 25; fps < 5000; fps *= 1.25) {
    if (!Holds(streams, fps, ports, packets)) break;
    best = fps;
  }
  return best;
}

}  // namespace

int main() {
  const auto packets = vkttest::FramePackets(kFrameSize, 1);
  const auto cameras = vktbench::StartFakeCameras(4, CameraAddress, kCommandPort);
  if (cameras.empty()) return 1;
  if (VKT_Init(VKT_SDK_VERSION, nullptr) != 0) return 1;
  std::vector<uint16_t> libraryPorts;
  for (int i = 0; i < 4; ++i) {
    const DeviceRecord record = vktbench::FakeCameraRecord(CameraAddress(i), kCommandPort, i, "VKT-N2F0Kp");
    int handle = VKT_AddCamera(&record, nullptr, 1000);
    if (handle == -1 || VKT_StartStream(handle, CountFrame, i, 1000) != 0) return 1;
    libraryPorts.push_back(cameras[static_cast<size_t>(i)]->StreamPort());
  }
  std::vector<std::unique_ptr<RawStream>> raw;
  std::vector<uint16_t> rawPorts;
  for (int i = 0; i < 4; ++i) {
    raw.push_back(std::make_unique<RawStream>(i));
    rawPorts.push_back(raw.back()->Port());
  }

  int status = 0;
  std::printf("%-10s %14s %14s %7s\n", "streams", "raw fps", "library fps", "ratio");
  for (int streams : {1, 4}) {
    const double r = HighestRate(streams, rawPorts, packets);
    const double l = HighestRate(streams, libraryPorts, packets);
    const double ratio = r > 0 ? l / r : 0;
    std::printf("%-10d %14.0f %14.0f %7.3f\n", streams, r, l, ratio);
    if (ratio < 0.9) status = 2;
  }
  VKT_Close();
  return status;
}

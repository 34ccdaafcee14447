// Pushed pictures at site scale: the library against a raw receiver of its
// own in one run, with every ratio printed beside its target.
//
// The cameras are emulated behind links of their own (SlowLinkSite: one
// namespace, one veth pair per camera, a tc token bucket on the camera's
// side, one vkt-emulator process). Sections:
//  (a) 32, then 128 cameras on 52 Mbit/s links pushing 512 KiB pictures back
//      to back: pictures and MB per second delivered to the library's
//      callback against one thread with epoll reading every connection.
//  (b) a healthy camera beside a faulty one holding 16+ stuck connections:
//      the healthy camera's rate against its rate alone (library both times).
//  (c) is picture_receive_bench, a program of its own.
//  (d) resident memory and add time per idle camera against a plain context.
//  (e) 48 cameras on 20 Mbit/s links pushing one 512 KiB picture each at
//      once: the time until all arrived, library against the raw receiver.
// Exit status 2 when a ratio misses its target, 1 when the run could not be
// set up.
//
// Run it in a private network namespace (the site adds links there):
//   tools/netns-run build/bench/picture_scale_bench [--rounds N] [--window SECONDS]
//       [--sections abde] [--send-buffer BYTES (cameras of (a) and (e); 0: the system's)]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "VKTNetSDK11.h"
#include "idle_camera_cost.h"
#include "slow_link_site.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using vkttest::SlowLinkCamera;
using vkttest::SlowLinkSite;

constexpr uint16_t kRawPort = 34700;
constexpr uint16_t kDrainPort = 34701;
constexpr size_t kPicture = 512 * 1024;
constexpr size_t kSmallPicture = 64 * 1024;
constexpr size_t kMaxPicture = 4 * 1024 * 1024;
constexpr int kCameraSendBuffer = 16384;

// Camera ids of the one site: (a) uses the first 128, (b) the next two,
// (e) the 48 after those.
constexpr int kScaleCameras = 128;
constexpr int kHealthy = 128;
constexpr int kFaulty = 129;
constexpr int kBurstFirst = 130;
constexpr int kBurstCameras = 48;
constexpr int kSiteCameras = kBurstFirst + kBurstCameras;

constexpr const char* kScaleRate = "52mbit";
constexpr const char* kBurstRate = "20mbit";
// Fast, and still the bound: 64 KiB pictures at 400 Mbit/s are 760 a
// second, below the most the emulator triggers.
constexpr const char* kHealthyRate = "400mbit";
// Above what a 52 Mbit/s link carries of 512 KiB pictures (12.4 a second),
// so every camera always has the next picture waiting.
constexpr double kScaleTriggers = 20;
constexpr double kHealthyTriggers = 1000;  // the emulator's most
constexpr int kStuckConnections = 16;
// Pictures the healthy camera has sent (into its socket buffer) and the
// library has not finished, at its steady rate.
constexpr long kHealthyInFlight = 32;
constexpr double kFaultyTriggers = 16;  // a second's worth of stuck connections keeps 16 open

constexpr double kScaleTarget = 0.9;
constexpr double kNeighbourTarget = 0.9;
constexpr double kResidentLimitKiB = 8;
constexpr double kAddTimeLimit = 1.5;
constexpr double kBurstTarget = 0.8;

// ------------------------------------------------------------ counting

// Pictures and bytes delivered, and the moment a chosen count was reached.
class Tally {
 public:
  void Add(long bytes) {
    bytes_.fetch_add(bytes, std::memory_order_relaxed);
    const long n = pictures_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n < target_.load(std::memory_order_relaxed)) return;
    std::lock_guard lock(mutex_);
    if (!reachedAt_) reachedAt_ = Clock::now();
    reached_.notify_all();
  }
  long Pictures() const { return pictures_.load(); }
  long Bytes() const { return bytes_.load(); }
  // Counts from zero, and notes when `target` pictures are in.
  void Restart(long target) {
    std::lock_guard lock(mutex_);
    target_ = LONG_MAX;
    pictures_ = 0;
    bytes_ = 0;
    reachedAt_.reset();
    target_ = target;
  }
  std::optional<Clock::time_point> WaitForTarget(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    reached_.wait_until(lock, deadline, [&] { return reachedAt_.has_value(); });
    return reachedAt_;
  }

 private:
  std::atomic<long> pictures_{0}, bytes_{0}, target_{LONG_MAX};
  std::mutex mutex_;
  std::condition_variable reached_;
  std::optional<Clock::time_point> reachedAt_;
};

Tally g_library;              // every picture the library's callback got
Tally g_watched;              // those of one camera
std::atomic<int> g_watchedHandle{-2};

void OnPicture(char*, int length, PictureInfo* info, int) {
  g_library.Add(length);
  if (info != nullptr && info->camera == g_watchedHandle.load(std::memory_order_relaxed)) g_watched.Add(length);
}

// Camera i's address is 10.200.0.0 + 4i + 2.
int CameraIndexOf(uint32_t addressNetworkOrder) {
  const uint32_t a = ntohl(addressNetworkOrder) - (10u << 24 | 200u << 16);
  return a % 4 == 2 && a / 4 < static_cast<uint32_t>(kSiteCameras) ? static_cast<int>(a / 4) : -1;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A non-blocking listener on any address at `port`; -1 when it cannot listen.
int Listener(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, SOMAXCONN) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Wakes `thread` through the eventfd `stop` it watches and waits for it to end.
void StopThread(std::thread& thread, int stop) {
  if (!thread.joinable()) return;
  const uint64_t one = 1;
  (void)!write(stop, &one, sizeof one);
  thread.join();
}

// ------------------------------------------------------ the raw receiver

// What a plain program would write: one thread, one epoll set over the
// listener and every connection (non-blocking), the same checks as the
// library (APP1 marker at 20, its length >= 46 at 22, totalLength <= 4 MiB
// at 36, exactly totalLength bytes, one second from the accept), each
// picture read into a buffer of its own.
class RawEpollReceiver {
 public:
  RawEpollReceiver(uint16_t port, Tally& tally) : tally_(tally) {
    listener_ = Listener(port);
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ok_ = listener_ >= 0 && epoll_ >= 0 && stop_ >= 0 && Watch(listener_, kListenerId) && Watch(stop_, kStopId);
    if (ok_) thread_ = std::thread([this] { Run(); });
  }
  ~RawEpollReceiver() {
    StopThread(thread_, stop_);
    for (auto& [id, c] : open_) close(c.fd);
    for (int fd : {listener_, epoll_, stop_}) {
      if (fd >= 0) close(fd);
    }
  }
  bool Ok() const { return ok_; }
  long Seen(int camera) const { return perCamera_[static_cast<size_t>(camera)].load(); }
  // Drops so far: bad framing, time window, closed early.
  std::array<long, 3> Drops() const { return {bad_.load(), window_.load(), closedEarly_.load()}; }
  // The most connections open at once, in all and of one camera, since the
  // last call.
  std::pair<long, long> TakePeaks() { return {peakOpen_.exchange(0), peakOfOneCamera_.exchange(0)}; }

 private:
  static constexpr size_t kHead = 40;  // through totalLength
  static constexpr uint64_t kListenerId = 0, kStopId = 1;
  struct Connection {
    int fd = -1;
    int camera = -1;
    Clock::time_point deadline;
    uint8_t head[kHead] = {};
    size_t got = 0;
    uint32_t total = 0;
    std::unique_ptr<uint8_t[]> body;
  };
  enum class Step { kMore, kDone, kBad, kClosed };

  bool Watch(int fd, uint64_t id) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = id;
    return epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0;
  }

  void Run() {
    // The library's picture threads run one step above normal priority;
    // the baseline gets the same, or a busy emulator would starve it first.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -1);
    epoll_event events[64];
    for (;;) {
      int timeout = 100;
      if (!deadlines_.empty()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadlines_.front().first - Clock::now());
        timeout = static_cast<int>(std::clamp<long>(left.count(), 0, 100));
      }
      const int n = epoll_wait(epoll_, events, 64, timeout);
      for (int i = 0; i < n; ++i) {
        const uint64_t id = events[i].data.u64;
        if (id == kStopId) return;
        if (id == kListenerId) AcceptAll();
        else Serve(id);
      }
      Expire();
    }
  }

  void AcceptAll() {
    for (;;) {
      sockaddr_in peer{};
      socklen_t length = sizeof peer;
      const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      const uint64_t id = nextId_++;
      Connection& c = open_[id];
      c.fd = fd;
      c.camera = CameraIndexOf(peer.sin_addr.s_addr);
      Raise(peakOpen_, static_cast<long>(open_.size()));
      if (c.camera >= 0) Raise(peakOfOneCamera_, ++openOf_[static_cast<size_t>(c.camera)]);
      c.deadline = Clock::now() + 1s;
      deadlines_.emplace_back(c.deadline, id);
      if (!Watch(fd, id)) End(id);
    }
  }

  void Serve(uint64_t id) {
    auto it = open_.find(id);
    if (it == open_.end()) return;
    Connection& c = it->second;
    if (Clock::now() >= c.deadline) {
      ++window_;
      End(id);
      return;
    }
    switch (Read(c)) {
      case Step::kMore:
        return;
      case Step::kDone:
        tally_.Add(c.total);
        if (c.camera >= 0) ++perCamera_[static_cast<size_t>(c.camera)];
        break;
      case Step::kBad:
        ++bad_;
        break;
      case Step::kClosed:
        ++closedEarly_;
        break;
    }
    End(id);
  }

  Step Read(Connection& c) {
    for (;;) {
      uint8_t* to = c.body ? c.body.get() + c.got : c.head + c.got;
      const size_t want = c.body ? c.total - c.got : kHead - c.got;
      const ssize_t n = recv(c.fd, to, want, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Step::kMore;
      if (n <= 0) return Step::kClosed;
      c.got += static_cast<size_t>(n);
      if (!c.body && c.got == kHead) {
        const unsigned app1 = static_cast<unsigned>(c.head[22]) << 8 | c.head[23];
        c.total = Le32(c.head + 36);
        if (c.head[20] != 0xFF || c.head[21] != 0xE1 || app1 < 46 || c.total > kMaxPicture || c.total < kHead)
          return Step::kBad;
        c.body = std::make_unique_for_overwrite<uint8_t[]>(c.total);
        std::memcpy(c.body.get(), c.head, kHead);
      }
      if (c.body && c.got == c.total) return Step::kDone;
    }
  }

  void Expire() {
    const auto now = Clock::now();
    while (!deadlines_.empty() && deadlines_.front().first <= now) {
      const uint64_t id = deadlines_.front().second;
      deadlines_.pop_front();
      if (open_.count(id) == 0) continue;
      ++window_;
      End(id);
    }
  }

  static void Raise(std::atomic<long>& peak, long value) {
    if (value > peak.load(std::memory_order_relaxed)) peak.store(value, std::memory_order_relaxed);
  }

  void End(uint64_t id) {
    auto it = open_.find(id);
    if (it->second.camera >= 0) --openOf_[static_cast<size_t>(it->second.camera)];
    close(it->second.fd);
    open_.erase(it);
  }

  Tally& tally_;
  int listener_ = -1, epoll_ = -1, stop_ = -1;
  bool ok_ = false;
  std::unordered_map<uint64_t, Connection> open_;
  std::deque<std::pair<Clock::time_point, uint64_t>> deadlines_;
  uint64_t nextId_ = 16;
  std::array<std::atomic<long>, kSiteCameras> perCamera_{};
  std::array<long, kSiteCameras> openOf_{};  // the receiver thread's own
  std::atomic<long> bad_{0}, window_{0}, closedEarly_{0}, peakOpen_{0}, peakOfOneCamera_{0};
  std::thread thread_;
};

// Where cameras push what they should no longer send: each connection is
// reset at once, and the last one's time tells when the cameras went quiet.
class DrainListener {
 public:
  explicit DrainListener(uint16_t port) {
    listener_ = Listener(port);
    stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ok_ = listener_ >= 0 && stop_ >= 0;
    if (ok_) thread_ = std::thread([this] { Run(); });
  }
  ~DrainListener() {
    StopThread(thread_, stop_);
    for (int fd : {listener_, stop_}) {
      if (fd >= 0) close(fd);
    }
  }
  bool Ok() const { return ok_; }
  // True once no connection came for `quiet` (counted from now at least).
  bool WaitQuiet(std::chrono::milliseconds quiet, Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    last_ = std::max(last_, Clock::now());
    for (;;) {
      const auto quietAt = last_ + quiet;
      const auto now = Clock::now();
      if (now >= quietAt) return true;
      if (now >= deadline) return false;
      changed_.wait_until(lock, std::min(quietAt, deadline));
    }
  }

 private:
  void Run() {
    for (;;) {
      pollfd fds[2] = {{stop_, POLLIN, 0}, {listener_, POLLIN, 0}};
      if (poll(fds, 2, 1000) < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) return;
      for (;;) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) break;
        const linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        close(fd);
        std::lock_guard lock(mutex_);
        last_ = Clock::now();
        changed_.notify_all();
      }
    }
  }
  int listener_ = -1, stop_ = -1;
  bool ok_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  Clock::time_point last_{};
  std::thread thread_;
};

// ------------------------------------------------ the cameras and the site

bool Control(SlowLinkSite& site, const std::string& command) {
  const std::string reply = site.Control(command);
  if (reply == "ok\n") return true;
  std::fprintf(stderr, "control '%s': %s", command.c_str(), reply.c_str());
  return false;
}

// A word of `pictures <id>`: pushed=, held=.
long PictureWord(SlowLinkSite& site, int id, const std::string& word) {
  const std::string reply = site.Control("pictures " + std::to_string(id));
  const size_t at = reply.find(" " + word + "=");
  return at == std::string::npos ? -1 : std::atol(reply.c_str() + at + word.size() + 2);
}

// The push-target registration the library sends (command 1080), pointing
// the camera at `port` of the host side of its own link.
bool PointCamera(const SlowLinkCamera& camera, uint16_t port, uint32_t sequence) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const timeval limit{2, 0};  // connect and both directions
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(camera.commandPort);
  inet_pton(AF_INET, camera.address.c_str(), &to.sin_addr);
  uint8_t message[28 + 8] = {};
  const uint32_t words[7] = {257, 0, 1080, sequence, 0, 8, 0};
  for (int i = 0; i < 7; ++i) PutLe32(message + 4 * i, words[i]);
  inet_pton(AF_INET, camera.hostAddress.c_str(), message + 28);
  const uint16_t portNetworkOrder = htons(port);
  std::memcpy(message + 32, &portNetworkOrder, 2);
  uint8_t reply[28];
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                  send(fd, message, sizeof message, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof message) &&
                  recv(fd, reply, sizeof reply, MSG_WAITALL) == static_cast<ssize_t>(sizeof reply) &&
                  Le32(reply + 8) == 1080 && Le32(reply + 16) == 0;
  close(fd);
  return ok;
}

bool PointCameras(const SlowLinkSite& site, int first, int count, uint16_t port) {
  static uint32_t sequence = 1;
  for (int i = first; i < first + count; ++i) {
    if (!PointCamera(site.Cameras()[static_cast<size_t>(i)], port, sequence++)) {
      std::fprintf(stderr, "push-target registration of camera %d failed\n", i);
      return false;
    }
  }
  return true;
}

std::vector<int> AddCameras(SlowLinkSite& site, int first, int count) {
  std::vector<int> handles;
  for (int i = first; i < first + count; ++i) {
    DeviceRecord record;
    vkttest::FillDeviceRecord(site.Cameras()[static_cast<size_t>(i)], record);
    int handle = VKT_AddCamera(&record, OnPicture, 3000);
    if (handle == -1) {
      // Reported, and tried once more: one failed add should not end the run.
      const unsigned why = static_cast<unsigned>(VKT_GetLastError());
      std::string server = site.Control("commands " + std::to_string(i));
      if (!server.empty() && server.back() == '\n') server.pop_back();
      std::printf("  (VKT_AddCamera of camera %d failed: 0x%08x, the camera's command server: %s; once more)\n",
                  i, why, server.c_str());
      handle = VKT_AddCamera(&record, OnPicture, 3000);
    }
    if (handle == -1) {
      std::fprintf(stderr, "VKT_AddCamera of camera %d: 0x%08x\n", i, static_cast<unsigned>(VKT_GetLastError()));
      for (int h : handles) VKT_DelCamera(h);
      return {};
    }
    handles.push_back(handle);
  }
  return handles;
}

void DeleteCameras(std::vector<int>& handles) {
  for (int h : handles) VKT_DelCamera(h);
  handles.clear();
}

CameraStatistics StatisticsOf(int handle) {
  CameraStatistics s{};
  s.size = sizeof s;
  VKT_GetCameraStatistics(handle, &s, 1000);
  return s;
}

// The library's drops over these cameras, by reason.
std::string LibraryDrops(const std::vector<int>& handles) {
  uint64_t window = 0, closedEarly = 0, bad = 0;
#if VKT_STATISTICS_VERSION >= 2
  uint64_t overShare = 0, bufferCap = 0;
#endif
  for (int h : handles) {
    const CameraStatistics s = StatisticsOf(h);
    window += s.picturesDroppedTimeWindow;
    closedEarly += s.picturesDroppedClosedEarly;
    bad += s.picturesDroppedBadMarker + s.picturesDroppedShortApp1 + s.picturesDroppedOversize;
#if VKT_STATISTICS_VERSION >= 2
    overShare += s.picturesDroppedOverShare;
    bufferCap += s.picturesDroppedBufferCap;
#endif
  }
  std::string text = "bad " + std::to_string(bad) + ", time window " + std::to_string(window) + ", closed early " +
                     std::to_string(closedEarly);
#if VKT_STATISTICS_VERSION >= 2
  text += ", over share " + std::to_string(overShare) + ", buffer cap " + std::to_string(bufferCap);
#endif
  return text;
}

// Open picture connections and buffered bytes, now and at most since the
// library was loaded.
std::string LibraryLoad() {
#if VKT_STATISTICS_VERSION >= 2
  LibraryStatistics s{};
  s.size = sizeof s;
  if (VKT_GetLibraryStatistics(&s) != 0) return "";
  char text[160];
  std::snprintf(text, sizeof text, "; open %llu (peak %llu), buffered %.1f MiB (peak %.1f MiB)",
                static_cast<unsigned long long>(s.pictureConnectionsOpen),
                static_cast<unsigned long long>(s.pictureConnectionsPeak), s.pictureBytesBuffered / 1048576.0,
                s.pictureBytesBufferedPeak / 1048576.0);
  return text;
#else
  return "";
#endif
}

// Polls `condition` until it holds or `deadline` passes.
template <typename Condition>
bool WaitUntil(Condition condition, Clock::time_point deadline) {
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
}

// tc's byte counters of every camera-side limiter, by interface.
std::map<std::string, uint64_t> LinkCounters(const SlowLinkSite& site) {
  std::map<std::string, uint64_t> sent;
  const std::string command = "/usr/sbin/tc -n " + site.Namespace() + " -s qdisc show 2>/dev/null";
  std::FILE* out = popen(command.c_str(), "r");
  if (out == nullptr) return sent;
  char line[512];
  std::string device;
  while (std::fgets(line, sizeof line, out) != nullptr) {
    const std::string text = line;
    if (text.rfind("qdisc ", 0) == 0) {
      const size_t at = text.find(" dev ");
      device = at == std::string::npos ? "" : text.substr(at + 5, text.find(' ', at + 5) - at - 5);
    } else if (const size_t at = text.find("Sent "); at != std::string::npos && !device.empty()) {
      sent[device] = std::strtoull(text.c_str() + at + 5, nullptr, 10);
      device.clear();
    }
  }
  pclose(out);
  return sent;
}

uint64_t LinkBytes(const std::map<std::string, uint64_t>& counters, const SlowLinkSite& site, int first, int count) {
  uint64_t sum = 0;
  for (int i = first; i < first + count; ++i) {
    const auto found = counters.find(site.Cameras()[static_cast<size_t>(i)].cameraInterface);
    if (found != counters.end()) sum += found->second;
  }
  return sum;
}

// TCP segments the cameras retransmitted (their namespace's counter).
long CameraRetransmits(const SlowLinkSite& site) {
  const std::string command = "/usr/sbin/ip netns exec " + site.Namespace() + " cat /proc/net/snmp";
  std::FILE* out = popen(command.c_str(), "r");
  if (out == nullptr) return 0;
  char line[1024];
  std::vector<std::string> names;
  long retransmits = 0;
  while (std::fgets(line, sizeof line, out) != nullptr) {
    if (std::strncmp(line, "Tcp:", 4) != 0) continue;
    std::vector<std::string> words;
    for (char* w = std::strtok(line + 4, " \n"); w != nullptr; w = std::strtok(nullptr, " \n")) words.push_back(w);
    if (names.empty()) {
      names = words;
      continue;
    }
    for (size_t i = 0; i < names.size() && i < words.size(); ++i) {
      if (names[i] == "RetransSegs") retransmits = std::atol(words[i].c_str());
    }
  }
  pclose(out);
  return retransmits;
}

// Limiters other than the site's default rate, set after it is made.
bool SetLinkRate(const SlowLinkSite& site, int camera, const std::string& rate) {
  const auto bits = vkttest::ParseLinkRate(rate);
  if (!bits) return false;
  const uint64_t burst = std::max<uint64_t>(4096, *bits / 8 / 200);  // as the site's own
  const std::string command = "/usr/sbin/tc -n " + site.Namespace() + " qdisc change dev " +
                              site.Cameras()[static_cast<size_t>(camera)].cameraInterface + " root tbf rate " + rate +
                              " burst " + std::to_string(burst) + " latency 100ms >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// ----------------------------------------------------------- CPU time

double ProcessCpuSeconds(const std::string& statPath) {
  std::ifstream in(statPath);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  // After the name: state is field 3, utime 14 and stime 15.
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                  &stime) != 2)
    return 0;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Busy seconds of the whole machine (every core, whoever ran).
double MachineBusySeconds() {
  std::ifstream in("/proc/stat");
  std::string cpu;
  unsigned long long v[8] = {};
  in >> cpu;
  for (auto& x : v) in >> x;
  const unsigned long long busy = v[0] + v[1] + v[2] + v[5] + v[6] + v[7];
  return static_cast<double>(busy) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

pid_t EmulatorPid(const SlowLinkSite& site) {
  const std::string command = "/usr/sbin/ip netns pids " + site.Namespace();
  std::FILE* out = popen(command.c_str(), "r");
  if (out == nullptr) return 0;
  long pid = 0;
  if (std::fscanf(out, "%ld", &pid) != 1) pid = 0;
  pclose(out);
  return static_cast<pid_t>(pid);
}

// The kernel's softirq threads: network receive work that could not run
// where the packets arrived goes there.
std::vector<std::string> SoftirqThreads() {
  std::vector<std::string> stats;
  for (int cpu = 0; cpu < 64; ++cpu) {
    const std::string command = "/usr/bin/pgrep -x ksoftirqd/" + std::to_string(cpu);
    std::FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) break;
    long pid = 0;
    const bool found = std::fscanf(out, "%ld", &pid) == 1;
    pclose(out);
    if (!found) break;
    stats.push_back("/proc/" + std::to_string(pid) + "/stat");
  }
  return stats;
}

struct Usage {
  Clock::time_point at;
  double self = 0, emulator = 0, softirq = 0, machine = 0;
};

Usage ReadUsage(pid_t emulator, const std::vector<std::string>& softirqThreads) {
  Usage u;
  u.at = Clock::now();
  u.self = ProcessCpuSeconds("/proc/self/stat");
  u.emulator = emulator > 0 ? ProcessCpuSeconds("/proc/" + std::to_string(emulator) + "/stat") : 0;
  for (const auto& stat : softirqThreads) u.softirq += ProcessCpuSeconds(stat);
  u.machine = MachineBusySeconds();
  return u;
}

// ---------------------------------------------------------- measuring

struct Window {
  double pictures = 0, megabytes = 0, linkMegabytes = 0;
  // Percent of one core: this process, the emulator, the softirq threads,
  // and everything else on the machine (other users' work above all).
  double cpuSelf = 0, cpuEmulator = 0, cpuSoftirq = 0, cpuOther = 0;
  bool perCamera = false;
  double slowestCamera = 0, fastestCamera = 0;         // pictures per second
  double retransmits = 0;                              // segments per second
};

// Pictures delivered so far, per camera of the section.
using PerCamera = std::function<std::vector<long>()>;

struct Context {
  SlowLinkSite& site;
  pid_t emulator;
  std::vector<std::string> softirqThreads;
  std::chrono::milliseconds window;
  int sendBuffer;
};

// Rates of `tally` over one measuring window, with the links' counters and
// CPU time of the same span.
Window Measure(Context& ctx, Tally& tally, int first, int count, const PerCamera& perCamera) {
  const uint64_t link0 = LinkBytes(LinkCounters(ctx.site), ctx.site, first, count);
  const long retransmits0 = CameraRetransmits(ctx.site);
  const std::vector<long> c0 = perCamera();
  const Usage u0 = ReadUsage(ctx.emulator, ctx.softirqThreads);
  const long p0 = tally.Pictures(), b0 = tally.Bytes();
  std::this_thread::sleep_for(ctx.window);  // the measuring window itself
  const long p1 = tally.Pictures(), b1 = tally.Bytes();
  const Usage u1 = ReadUsage(ctx.emulator, ctx.softirqThreads);
  const std::vector<long> c1 = perCamera();
  const uint64_t link1 = LinkBytes(LinkCounters(ctx.site), ctx.site, first, count);
  const long retransmits1 = CameraRetransmits(ctx.site);
  const double s = std::chrono::duration<double>(u1.at - u0.at).count();
  Window w;
  for (size_t i = 0; i < c0.size() && i < c1.size(); ++i) {
    const double rate = static_cast<double>(c1[i] - c0[i]) / s;
    w.slowestCamera = i == 0 ? rate : std::min(w.slowestCamera, rate);
    w.fastestCamera = std::max(w.fastestCamera, rate);
  }
  w.pictures = static_cast<double>(p1 - p0) / s;
  w.megabytes = static_cast<double>(b1 - b0) / s / 1e6;
  w.linkMegabytes = static_cast<double>(link1 - link0) / s / 1e6;
  w.cpuSelf = 100 * (u1.self - u0.self) / s;
  w.cpuEmulator = 100 * (u1.emulator - u0.emulator) / s;
  w.cpuSoftirq = 100 * (u1.softirq - u0.softirq) / s;
  w.cpuOther = 100 * (u1.machine - u0.machine) / s - w.cpuSelf - w.cpuEmulator - w.cpuSoftirq;
  w.perCamera = !c0.empty();
  w.retransmits = static_cast<double>(retransmits1 - retransmits0) / s;
  return w;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Spread(const std::vector<double>& v, const char* format) {
  if (v.empty()) return "-";
  char text[96];
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  std::snprintf(text, sizeof text, format, *lo, *hi);
  return text;
}

void PrintWindow(int round, const char* who, const Window& w, const std::string& tail = "") {
  char cameras[32] = "-";
  if (w.perCamera) std::snprintf(cameras, sizeof cameras, "%.1f..%.1f", w.slowestCamera, w.fastestCamera);
  std::printf("  %5d  %-8s %8.1f %8.1f %9.1f %7.0f %8.0f%% %8.0f%% %8.0f%% %8.0f%% %12s  %s\n", round, who,
              w.pictures, w.megabytes, w.linkMegabytes, w.retransmits, w.cpuSelf, w.cpuEmulator, w.cpuSoftirq,
              w.cpuOther, cameras, tail.c_str());
}

const char* kColumns = "  %5s  %-8s %8s %8s %9s %7s %9s %9s %9s %9s %12s  %s\n";

bool Verdict(const char* what, double ratio, double target, bool atLeast) {
  const bool ok = atLeast ? ratio >= target : ratio <= target;
  std::printf("  %-44s %7.3f   target %s %.2f   %s\n", what, ratio, atLeast ? ">=" : "<=", target,
              ok ? "ok" : "MISSED");
  return ok;
}

// Stops the cameras' pushes and lets what they still had queued go to the
// drain, as pictures too small to cost anything; their size is set back.
bool Quiesce(Context& ctx, DrainListener& drain, int first, int count, size_t padTo) {
  bool ok = true;
  for (int i = first; i < first + count; ++i) ok = Control(ctx.site, "triggers " + std::to_string(i) + " 0") && ok;
  ok = PointCameras(ctx.site, first, count, kDrainPort) && ok;
  for (int i = first; i < first + count; ++i)
    ok = Control(ctx.site, "pfault " + std::to_string(i) + " padTo 0") && ok;
  if (!drain.WaitQuiet(1000ms, Clock::now() + 30s)) std::printf("  (the cameras did not go quiet in 30 s)\n");
  for (int i = first; i < first + count; ++i)
    ok = Control(ctx.site, "pfault " + std::to_string(i) + " padTo " + std::to_string(padTo)) && ok;
  return ok;
}

// ------------------------------------------------------------ sections

// (a) pictures per second at scale, library against the raw receiver.
bool Scale(Context& ctx, RawEpollReceiver& raw, Tally& rawTally, DrainListener& drain, int cameras, int rounds,
           int& status) {
  const double linkMBps = static_cast<double>(ctx.site.RateBitsPerSecond()) / 8 / 1e6;
  std::printf("\n(a) %d cameras on %s links (%.2f MB/s each, %.0f MB/s in all), %zu KiB pictures back to back, "
              "camera send buffers %d bytes, %.1f s windows\n",
              cameras, kScaleRate, linkMBps, linkMBps * cameras, kPicture / 1024, ctx.sendBuffer,
              std::chrono::duration<double>(ctx.window).count());
  std::printf(kColumns, "round", "receiver", "pic/s", "MB/s", "link MB/s", "retx/s", "cpu bench", "cpu emu", "softirqd", "cpu other",
              "camera pic/s", "drops (from the round's start)");
  if (!PointCameras(ctx.site, 0, cameras, kRawPort)) return false;
  for (int i = 0; i < cameras; ++i) {
    if (!Control(ctx.site, "triggers " + std::to_string(i) + " " + std::to_string(kScaleTriggers))) return false;
  }
  std::vector<double> rawPics, rawMb, libPics, libMb, rawCost, libCost;
  // Milliseconds of this process's CPU per MB delivered.
  auto cost = [](const Window& w) { return w.megabytes > 0 ? 10 * w.cpuSelf / w.megabytes : 0; };
  auto rawSeen = [&] {
    std::vector<long> n;
    for (int i = 0; i < cameras; ++i) n.push_back(raw.Seen(i));
    return n;
  };
  // Raw: warm until every camera delivered to it, then the window.
  auto rawRun = [&](int round) {
    const auto drops0 = raw.Drops();
    std::vector<long> seen(static_cast<size_t>(cameras));
    for (int i = 0; i < cameras; ++i) seen[static_cast<size_t>(i)] = raw.Seen(i);
    if (!WaitUntil(
            [&] {
              for (int i = 0; i < cameras; ++i)
                if (raw.Seen(i) == seen[static_cast<size_t>(i)]) return false;
              return true;
            },
            Clock::now() + 10s))
      std::printf("  (not every camera reached the raw receiver within 10 s)\n");
    const Window r = Measure(ctx, rawTally, 0, cameras, rawSeen);
    const auto drops1 = raw.Drops();
    const auto [peakOpen, peakOfOne] = raw.TakePeaks();
    PrintWindow(round, "raw", r,
                "bad " + std::to_string(drops1[0] - drops0[0]) + ", time window " +
                    std::to_string(drops1[1] - drops0[1]) + ", closed early " +
                    std::to_string(drops1[2] - drops0[2]) + "; open at most " + std::to_string(peakOpen) +
                    ", of one camera " + std::to_string(peakOfOne));
    rawPics.push_back(r.pictures);
    rawMb.push_back(r.megabytes);
    rawCost.push_back(cost(r));
  };
  // Library: adding a camera registers the library as its push target.
  auto libraryRun = [&](int round) {
    std::vector<int> handles = AddCameras(ctx.site, 0, cameras);
    if (handles.empty()) return false;
    if (!WaitUntil(
            [&] {
              for (int h : handles)
                if (StatisticsOf(h).picturesDelivered == 0) return false;
              return true;
            },
            Clock::now() + 10s))
      std::printf("  (not every camera reached the library within 10 s)\n");
    auto delivered = [&] {
      std::vector<long> n;
      for (int h : handles) n.push_back(static_cast<long>(StatisticsOf(h).picturesDelivered));
      return n;
    };
    const Window l = Measure(ctx, g_library, 0, cameras, delivered);
    PrintWindow(round, "library", l, LibraryDrops(handles) + LibraryLoad());
    libPics.push_back(l.pictures);
    libMb.push_back(l.megabytes);
    libCost.push_back(cost(l));
    // Back to the raw receiver before the deletion, so no push meets a
    // library that no longer knows the camera.
    const bool pointed = PointCameras(ctx.site, 0, cameras, kRawPort);
    DeleteCameras(handles);
    return pointed;
  };
  // Which goes first alternates, so a drift of the machine's load over the
  // rounds weighs on both alike.
  for (int round = 1; round <= rounds; ++round) {
    if (round % 2 == 1) rawRun(round);
    if (!libraryRun(round)) return false;
    if (round % 2 == 0) rawRun(round);
  }
  std::printf("  median raw %.1f pic/s %.1f MB/s (%s), library %.1f pic/s %.1f MB/s (%s)\n", Median(rawPics),
              Median(rawMb), Spread(rawPics, "%.1f..%.1f").c_str(), Median(libPics), Median(libMb),
              Spread(libPics, "%.1f..%.1f").c_str());
  std::printf("  CPU of this process per MB delivered: raw %.2f ms (%s), library %.2f ms (%s)\n", Median(rawCost),
              Spread(rawCost, "%.2f..%.2f").c_str(), Median(libCost), Spread(libCost, "%.2f..%.2f").c_str());
  std::vector<double> ratios;
  for (size_t i = 0; i < libPics.size(); ++i) ratios.push_back(rawPics[i] > 0 ? libPics[i] / rawPics[i] : 0);
  std::printf("  per-round ratios %s\n", Spread(ratios, "%.3f..%.3f").c_str());
  const double ratio = Median(rawPics) > 0 ? Median(libPics) / Median(rawPics) : 0;
  if (!Verdict(("library/raw pictures per second, " + std::to_string(cameras) + " cameras").c_str(), ratio,
               kScaleTarget, true))
    status = 2;
  return Quiesce(ctx, drain, 0, cameras, kPicture);
}

// (b) a healthy camera beside one that holds stuck connections.
bool Neighbour(Context& ctx, DrainListener& drain, int rounds, int& status) {
  std::printf("\n(b) healthy camera (%s link, %zu KiB pictures, triggers %.0f/s) alone, then beside a faulty "
              "camera holding %d+ stuck connections (stuckAfter 24, %d pushed at once, then %.0f/s); library "
              "both times, %.1f s windows\n",
              kHealthyRate, kSmallPicture / 1024, kHealthyTriggers, kStuckConnections, kStuckConnections,
              kFaultyTriggers, std::chrono::duration<double>(ctx.window).count());
  std::vector<int> healthy = AddCameras(ctx.site, kHealthy, 1);
  std::vector<int> faulty = AddCameras(ctx.site, kFaulty, 1);
  if (healthy.empty() || faulty.empty()) return false;
  g_watchedHandle = healthy[0];
  g_watched.Restart(LONG_MAX);
  const std::string faultyId = std::to_string(kFaulty);
  if (!Control(ctx.site, "triggers " + std::to_string(kHealthy) + " " + std::to_string(kHealthyTriggers)))
    return false;
  if (!WaitUntil([&] { return g_watched.Pictures() > 0; }, Clock::now() + 5s)) {
    std::fprintf(stderr, "the healthy camera delivered nothing in 5 s\n");
    return false;
  }
  std::printf(kColumns, "round", "case", "pic/s", "MB/s", "link MB/s", "retx/s", "cpu bench", "cpu emu", "softirqd", "cpu other",
              "camera pic/s", "faulty camera");
  auto none = [] { return std::vector<long>{}; };
  std::vector<double> alone, beside;
  for (int round = 1; round <= rounds; ++round) {
    // What the healthy camera pushed during the last round and the library
    // has not taken yet would count in this window: wait for it first.
    auto caughtUp = [&] {
      const CameraStatistics s = StatisticsOf(healthy[0]);
      const long taken = static_cast<long>(s.picturesDelivered + s.picturesDroppedTimeWindow +
                                           s.picturesDroppedClosedEarly);
      return PictureWord(ctx.site, kHealthy, "pushed") - taken <= kHealthyInFlight;
    };
    if (!WaitUntil(caughtUp, Clock::now() + 10s))
      std::printf("  (the library did not catch up with the healthy camera within 10 s)\n");
    const Window a = Measure(ctx, g_watched, kHealthy, 1, none);
    PrintWindow(round, "alone", a);
    alone.push_back(a.pictures);

    const long pushedBefore = PictureWord(ctx.site, kFaulty, "pushed");
    const long heldBefore = PictureWord(ctx.site, kFaulty, "held");
    for (int i = 0; i < kStuckConnections; ++i) {
      if (!Control(ctx.site, "trigger " + faultyId)) return false;
    }
    if (!WaitUntil([&] { return PictureWord(ctx.site, kFaulty, "held") >= heldBefore + kStuckConnections ||
                                PictureWord(ctx.site, kFaulty, "held") >= 1024; },
                   Clock::now() + 5s))
      std::printf("  (the faulty camera did not hold %d connections within 5 s)\n", kStuckConnections);
    if (!Control(ctx.site, "triggers " + faultyId + " " + std::to_string(kFaultyTriggers))) return false;
    const Window b = Measure(ctx, g_watched, kHealthy, 1, none);
    if (!Control(ctx.site, "triggers " + faultyId + " 0")) return false;
    const long pushed = PictureWord(ctx.site, kFaulty, "pushed") - pushedBefore;
    PrintWindow(round, "beside", b, std::to_string(pushed) + " stuck pushes");
    beside.push_back(b.pictures);
    // Every stuck connection ended in the library before the next round.
    const long allPushed = PictureWord(ctx.site, kFaulty, "pushed");
    auto ended = [&] {
      const CameraStatistics s = StatisticsOf(faulty[0]);
      uint64_t n = s.picturesDroppedTimeWindow + s.picturesDroppedClosedEarly;
#if VKT_STATISTICS_VERSION >= 2
      n += s.picturesDroppedOverShare;
#endif
      return static_cast<long>(n) >= allPushed;
    };
    const auto waitStart = Clock::now();
    if (!WaitUntil(ended, Clock::now() + 30s)) std::printf("  (stuck connections still open after 30 s)\n");
    else std::printf("         the library ended every stuck connection %.1f s after the window\n",
                     std::chrono::duration<double>(Clock::now() - waitStart).count());
  }
  std::printf("  faulty camera in the library: %s\n", LibraryDrops(faulty).c_str());
  std::printf("  healthy camera in the library: %s\n", LibraryDrops(healthy).c_str());
  std::printf("  median alone %.1f pic/s (%s), beside %.1f pic/s (%s)\n", Median(alone),
              Spread(alone, "%.1f..%.1f").c_str(), Median(beside), Spread(beside, "%.1f..%.1f").c_str());
  const double ratio = Median(alone) > 0 ? Median(beside) / Median(alone) : 0;
  if (!Verdict("healthy beside faulty / healthy alone", ratio, kNeighbourTarget, true)) status = 2;
  g_watchedHandle = -2;
  const bool quiet = Quiesce(ctx, drain, kHealthy, 1, kSmallPicture);
  DeleteCameras(healthy);
  DeleteCameras(faulty);
  return quiet;
}

// (d) what an idle camera costs.
void IdleCost(int rounds, int& status) {
  std::printf("\n(d) 1000 idle cameras: resident memory and add time per camera, library against a plain context\n");
  std::printf("  %5s %14s %14s %8s %14s %14s %8s\n", "round", "raw KiB", "library KiB", "ratio", "raw us/add",
              "library us/add", "ratio");
  std::vector<double> libKiB, rawKiB, libUs, rawUs;
  for (int round = 1; round <= rounds; ++round) {
    const vktbench::IdleCameraCost cost = vktbench::MeasureIdleCameraCost(1000);
    if (cost.failed != 0) {
      std::printf("  round %d failed: %s (0x%08x)\n", round, cost.error, static_cast<unsigned>(VKT_GetLastError()));
      status = 2;
      continue;
    }
    std::printf("  %5d %14.2f %14.2f %8.2f %14.2f %14.2f %8.2f\n", round, cost.raw.residentKiB,
                cost.library.residentKiB, cost.raw.residentKiB > 0 ? cost.library.residentKiB / cost.raw.residentKiB : 0,
                cost.raw.addMicros, cost.library.addMicros,
                cost.raw.addMicros > 0 ? cost.library.addMicros / cost.raw.addMicros : 0);
    libKiB.push_back(cost.library.residentKiB);
    rawKiB.push_back(cost.raw.residentKiB);
    libUs.push_back(cost.library.addMicros);
    rawUs.push_back(cost.raw.addMicros);
  }
  if (libKiB.empty()) return;
  std::printf("  median resident raw %.2f KiB (%s), library %.2f KiB (%s), library/raw %.2f (printed, not judged)\n",
              Median(rawKiB), Spread(rawKiB, "%.2f..%.2f").c_str(), Median(libKiB),
              Spread(libKiB, "%.2f..%.2f").c_str(), Median(rawKiB) > 0 ? Median(libKiB) / Median(rawKiB) : 0);
  std::printf("  median add raw %.2f us (%s), library %.2f us (%s)\n", Median(rawUs),
              Spread(rawUs, "%.2f..%.2f").c_str(), Median(libUs), Spread(libUs, "%.2f..%.2f").c_str());
  if (!Verdict("library resident KiB per camera", Median(libKiB), kResidentLimitKiB, false)) status = 2;
  const double addRatio = Median(rawUs) > 0 ? Median(libUs) / Median(rawUs) : 0;
  if (!Verdict("library/raw add time per camera", addRatio, kAddTimeLimit, false)) status = 2;
}

// One burst: `count` cameras from `first` told to push one picture each at
// once; the time until `tally` has them all (nullopt: not all in 10 s).
std::optional<double> Burst(Context& ctx, Tally& tally, int first, int count) {
  tally.Restart(count);
  const auto start = Clock::now();
  for (int i = first; i < first + count; ++i) {
    if (!Control(ctx.site, "trigger " + std::to_string(i))) return std::nullopt;
  }
  const auto done = tally.WaitForTarget(start + 10s);
  if (!done) {
    std::printf("  (only %ld of %d pictures arrived within 10 s)\n", tally.Pictures(), count);
    return std::nullopt;
  }
  return std::chrono::duration<double, std::milli>(*done - start).count();
}

// (e) a burst of pictures from many slow links at once.
bool BurstSection(Context& ctx, Tally& rawTally, int rounds, int& status) {
  const double oneLinkMs = kPicture * 8.0 / 20e6 * 1000;
  std::printf("\n(e) %d cameras on %s links each pushing one %zu KiB picture at the same moment "
              "(one picture takes %.0f ms at the link's rate)\n",
              kBurstCameras, kBurstRate, kPicture / 1024, oneLinkMs);
  std::printf("  %5s  %-8s %14s %14s\n", "round", "receiver", "one picture ms", "all 48 ms");
  std::vector<double> rawAll, libAll, rawOne, libOne;
  auto rawRun = [&](int round) {
    if (!PointCameras(ctx.site, kBurstFirst, kBurstCameras, kRawPort)) return false;
    const auto r1 = Burst(ctx, rawTally, kBurstFirst, 1);
    const auto rAll = Burst(ctx, rawTally, kBurstFirst, kBurstCameras);
    std::printf("  %5d  %-8s %14.1f %14.1f\n", round, "raw", r1.value_or(-1), rAll.value_or(-1));
    if (r1) rawOne.push_back(*r1);
    if (rAll) rawAll.push_back(*rAll);
    return true;
  };
  auto libraryRun = [&](int round) {
    std::vector<int> handles = AddCameras(ctx.site, kBurstFirst, kBurstCameras);
    if (handles.empty()) return false;
    const auto l1 = Burst(ctx, g_library, kBurstFirst, 1);
    const auto lAll = Burst(ctx, g_library, kBurstFirst, kBurstCameras);
    std::printf("  %5d  %-8s %14.1f %14.1f\n", round, "library", l1.value_or(-1), lAll.value_or(-1));
    if (l1) libOne.push_back(*l1);
    if (lAll) libAll.push_back(*lAll);
    if (!lAll) std::printf("  library drops: %s\n", LibraryDrops(handles).c_str());
    DeleteCameras(handles);
    return true;
  };
  for (int round = 1; round <= rounds; ++round) {
    if (round % 2 == 1 && !rawRun(round)) return false;
    if (!libraryRun(round)) return false;
    if (round % 2 == 0 && !rawRun(round)) return false;
  }
  std::printf("  median one picture: raw %.1f ms (%s), library %.1f ms (%s)\n", Median(rawOne),
              Spread(rawOne, "%.1f..%.1f").c_str(), Median(libOne), Spread(libOne, "%.1f..%.1f").c_str());
  std::printf("  median all %d: raw %.1f ms (%s), library %.1f ms (%s)\n", kBurstCameras, Median(rawAll),
              Spread(rawAll, "%.1f..%.1f").c_str(), Median(libAll), Spread(libAll, "%.1f..%.1f").c_str());
  const bool complete = static_cast<int>(libAll.size()) == rounds && static_cast<int>(rawAll.size()) == rounds;
  const double ratio = complete && Median(libAll) > 0 ? Median(rawAll) / Median(libAll) : 0;
  if (!Verdict("raw/library time until all arrived", ratio, kBurstTarget, true)) status = 2;
  return true;
}

// Every camera: a small picture to encode (its size comes from padding),
// no SD card to store it on, and the send buffer and size of its section.
bool SetUpCameras(SlowLinkSite& site, int sendBuffer) {
  for (int i = 0; i < kSiteCameras; ++i) {
    const std::string id = std::to_string(i);
    if (!Control(site, "picsize " + id + " 8 8 50") || !Control(site, "sd " + id + " card off")) return false;
    if (i == kFaulty) {
      if (!Control(site, "pfault " + id + " stuckAfter 24")) return false;
    } else if (i == kHealthy) {
      if (!Control(site, "pfault " + id + " padTo " + std::to_string(kSmallPicture))) return false;
    } else if (!Control(site, "pfault " + id + " padTo " + std::to_string(kPicture)) ||
               !Control(site, "pfault " + id + " sendBufferBytes " + std::to_string(sendBuffer))) {
      return false;
    }
  }
  if (!SetLinkRate(site, kHealthy, kHealthyRate)) return false;
  for (int i = kBurstFirst; i < kBurstFirst + kBurstCameras; ++i) {
    if (!SetLinkRate(site, i, kBurstRate)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  double windowSeconds = 3;
  int sendBuffer = kCameraSendBuffer;
  std::string sections = "abde";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    else if (std::strcmp(argv[i], "--window") == 0) windowSeconds = std::max(0.5, std::atof(argv[i + 1]));
    // For finding out what bounds a figure: 0 is the system's default.
    else if (std::strcmp(argv[i], "--send-buffer") == 0) sendBuffer = std::max(0, std::atoi(argv[i + 1]));
    else if (std::strcmp(argv[i], "--sections") == 0) sections = argv[i + 1];
  }
  auto runs = [&](char section) { return sections.find(section) != std::string::npos; };
  setvbuf(stdout, nullptr, _IOLBF, 0);
  // Each picture connection takes a descriptor (see VKT_PICTURE_CONNECTIONS).
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  const auto started = Clock::now();

  SlowLinkSite site;
  vkttest::SlowLinkOptions options;
  options.cameras = kSiteCameras;
  options.rate = kScaleRate;
  options.emulatorPath = VKT_EMULATOR;
  options.lifetime = std::chrono::seconds(900);
  std::string error;
  if (!site.Create(options, &error)) {
    std::fprintf(stderr, "slow-link site: %s\n", error.c_str());
    return 1;
  }
  // The healthy camera of (b) opens hundreds of connections a second from
  // one address to one port, and each leaves a TIME_WAIT on the camera's
  // side: within half a minute the emulator's connects spend a core
  // searching the default 28,000 ephemeral ports. Only the site's own
  // namespace is changed.
  const std::string ports = "/usr/sbin/ip netns exec " + site.Namespace() +
                            " /usr/sbin/sysctl -q -w net.ipv4.ip_local_port_range='1024 65535' "
                            "net.ipv4.tcp_tw_reuse=1";
  if (std::system(ports.c_str()) != 0) std::printf("(the cameras' ephemeral ports stay as they were)\n");
  if (!SetUpCameras(site, sendBuffer)) return 1;
  if (VKT_Init(VKT_SDK_VERSION, nullptr) != 0) {
    std::fprintf(stderr, "VKT_Init failed\n");
    return 1;
  }
  Tally rawTally;
  RawEpollReceiver raw(kRawPort, rawTally);
  DrainListener drain(kDrainPort);
  if (!raw.Ok() || !drain.Ok()) {
    std::fprintf(stderr, "cannot listen on %u or %u\n", kRawPort, kDrainPort);
    return 1;
  }
  Context ctx{site, EmulatorPid(site), SoftirqThreads(),
              std::chrono::milliseconds(static_cast<long>(windowSeconds * 1000)), sendBuffer};
  std::printf("site: %d emulated cameras, one vkt-emulator (pid %d), %.1f s to set up; %d rounds per section; "
              "cpu columns: %% of one core (2 cores here) for this process, the emulator, and everything else\n",
              kSiteCameras, static_cast<int>(ctx.emulator),
              std::chrono::duration<double>(Clock::now() - started).count(), rounds);

  int status = 0;
  if (runs('d')) IdleCost(rounds, status);
  bool ran = (!runs('a') || (Scale(ctx, raw, rawTally, drain, 32, rounds, status) &&
                             Scale(ctx, raw, rawTally, drain, kScaleCameras, rounds, status))) &&
             (!runs('b') || Neighbour(ctx, drain, rounds, status));
  std::printf("\n(c) is picture_receive_bench, run on its own\n");
  ran = ran && (!runs('e') || BurstSection(ctx, rawTally, rounds, status));
  VKT_Close();
  std::printf("\nwhole run %.0f s, %s\n", std::chrono::duration<double>(Clock::now() - started).count(),
              !ran ? "could not finish" : status == 0 ? "every target met" : "a target MISSED");
  return ran ? status : 1;
}

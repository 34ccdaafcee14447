// Replies on a camera's command connection. The library runs for real
// (started once); a loopback "camera" thread on 127.0.0.1 answers each
// request the library sends with the next reply of the input, and the
// input chooses which exported calls the library makes.
//
// Input:
//   byte 0            calls: 1 + byte % 8 of them
//   one byte a call   the call (byte % kCallKinds) and its argument (byte / kCallKinds)
//   the rest          replies: [flags][length, 2 bytes little-endian][length bytes] ...
// Reply flags (a reply is walked as headers each followed by its announced
// payload):
//   0x01  copy the request's command and sequence into every header walked
//   0x02  the reply is one header and its payload: the header's length
//         becomes the bytes that follow it (no further header is walked)
//   0x04  close the connection after the reply
//   0x08  keep the connection open even when the reply is cut short (the
//         library then waits out its time-out); otherwise a cut reply is
//         followed by the camera closing the connection
// When the replies run out the camera closes the connection at the next
// request. One of the calls is the camera sending its next reply without
// a request (a save completion that comes late, or stray bytes). Each call
// has 20 ms: a silent camera costs little. Each input adds the camera
// afresh, so its sequence numbers start from 0 and no cached setting or
// pending save carries over.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "VKTNetSDK11.h"

namespace {

constexpr unsigned kCallTimeoutMs = 20;
constexpr size_t kHeaderSize = 28;
constexpr size_t kLargeBuffer = 4u * 1024u * 1024u;

struct Reply {
  uint8_t flags = 0;
  std::vector<uint8_t> bytes;
};

uint32_t Word(const uint8_t* p) {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "command_replies fuzzer: %s\n", what);
  std::abort();
}

// A camera that answers each complete request with the next scripted reply.
class LoopbackCamera {
 public:
  bool Start() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 16) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return false;
    }
    port_ = ntohs(addr.sin_port);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    // Detached on purpose: it serves until the process exits.
    std::thread([this] { Run(); }).detach();
    return true;
  }

  uint16_t Port() const { return port_; }

  // Drops the connection of the last input and takes the replies of this one.
  void Load(std::vector<Reply> replies) {
    Order(kLoad, &replies);
  }

  // Sends the next reply now, without waiting for a request.
  void PushNext() { Order(kPush, nullptr); }

 private:
  enum OrderKind { kNone, kLoad, kPush };

  void Order(OrderKind kind, std::vector<Reply>* replies) {
    std::unique_lock<std::mutex> lock(mutex_);
    order_ = kind;
    if (replies != nullptr) pending_ = std::move(*replies);
    const uint64_t id = ++orderId_;
    const char byte = 1;
    if (::write(wake_[1], &byte, 1) < 0 && errno != EAGAIN) Die("cannot wake the camera thread");
    if (!done_.wait_for(lock, std::chrono::seconds(5), [&] { return doneId_ == id; })) {
      Die("the camera thread did not take an order within 5 s");
    }
  }

  void Run() {
    for (;;) {
      pollfd fds[3] = {{wake_[0], POLLIN, 0}, {conn_, POLLIN, 0}, {listen_, POLLIN, 0}};
      // Bounded: the loop looks at everything again at least once a second.
      if (::poll(fds, 3, 1000) < 0 && errno != EINTR) Die("poll failed");
      if (fds[0].revents != 0) TakeOrder();
      if (conn_ >= 0 && fds[1].revents != 0) ReadRequests();
      if (fds[2].revents != 0) AcceptAll(false);
    }
  }

  void TakeOrder() {
    char sink[64];
    while (::read(wake_[0], sink, sizeof sink) > 0) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (order_ == kLoad) {
      CloseConnection();
      AcceptAll(true);  // connections of the last input still queued
      script_ = std::move(pending_);
      pending_.clear();
      next_ = 0;
      lastCommand_ = lastSequence_ = 0;
    } else if (order_ == kPush) {
      Answer();
    }
    order_ = kNone;
    doneId_ = orderId_;
    done_.notify_all();
  }

  void AcceptAll(bool discard) {
    for (;;) {
      int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return;
      if (discard) {
        ::close(fd);
        continue;
      }
      // The library keeps one command connection: a new one replaces the old.
      CloseConnection();
      conn_ = fd;
      int on = 1;
      (void)::setsockopt(conn_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      timeval tv{0, 200 * 1000};  // a send never blocks the camera for long
      (void)::setsockopt(conn_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
      int buffer = 1 << 20;
      (void)::setsockopt(conn_, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    }
  }

  void CloseConnection() {
    if (conn_ >= 0) ::close(conn_);
    conn_ = -1;
    inbox_.clear();
  }

  void ReadRequests() {
    uint8_t chunk[4096];
    ssize_t n = ::recv(conn_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      CloseConnection();
      return;
    }
    if (n < 0) return;
    inbox_.insert(inbox_.end(), chunk, chunk + n);
    while (conn_ >= 0 && inbox_.size() >= kHeaderSize) {
      const size_t need = kHeaderSize + Word(inbox_.data() + 20);
      if (inbox_.size() < need) break;
      lastCommand_ = static_cast<int32_t>(Word(inbox_.data() + 8));
      lastSequence_ = static_cast<int32_t>(Word(inbox_.data() + 12));
      inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(need));
      std::lock_guard<std::mutex> lock(mutex_);
      Answer();
    }
  }

  // Sends the next reply; called with the mutex held.
  void Answer() {
    if (next_ >= script_.size()) {
      CloseConnection();  // nothing left to say
      return;
    }
    Reply reply = script_[next_++];
    std::vector<uint8_t>& b = reply.bytes;
    // Walk the headers as the library would read them one after the other.
    std::vector<size_t> headers;
    size_t at = 0;
    if ((reply.flags & 0x02) != 0) {
      // One header, its payload all the rest.
      if (b.size() >= kHeaderSize) {
        const uint32_t rest = static_cast<uint32_t>(b.size() - kHeaderSize);
        std::memcpy(b.data() + 20, &rest, 4);
        headers.push_back(0);
        at = b.size();
      }
    } else {
      while (at + kHeaderSize <= b.size()) {
        headers.push_back(at);
        at += kHeaderSize + size_t{Word(b.data() + at + 20)};
      }
    }
    if ((reply.flags & 0x01) != 0) {
      for (size_t h : headers) {
        std::memcpy(b.data() + h + 8, &lastCommand_, 4);
        std::memcpy(b.data() + h + 12, &lastSequence_, 4);
      }
    }
    const bool whole = !headers.empty() && at == b.size();
    if (conn_ >= 0) {
      size_t sent = 0;
      while (sent < b.size()) {
        ssize_t n = ::send(conn_, b.data() + sent, b.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
    }
    if ((reply.flags & 0x04) != 0 || (!whole && (reply.flags & 0x08) == 0)) CloseConnection();
  }

  int listen_ = -1;
  int conn_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::vector<uint8_t> inbox_;
  int32_t lastCommand_ = 0;
  int32_t lastSequence_ = 0;

  std::mutex mutex_;
  std::condition_variable done_;
  OrderKind order_ = kNone;
  uint64_t orderId_ = 0;
  uint64_t doneId_ = 0;
  std::vector<Reply> pending_;
  std::vector<Reply> script_;
  size_t next_ = 0;
};

LoopbackCamera* g_camera = nullptr;

// ---- checks of what the library hands back

void CheckTerminated(const char* text, size_t field) {
  if (std::memchr(text, 0, field) == nullptr) __builtin_trap();
}

void CheckTrigger(const TriggInputSet& set, bool factory) {
  for (const TriggInputEntry& e : set.entry) {
    const int32_t* v = e.value;
    if ((v[0] & ~1) != 0 || v[1] < 0 || v[1] > 15 || v[5] < 0 || v[5] > 15) __builtin_trap();
    if (!factory && ((v[4] | v[6] | v[10] | v[11] | v[12] | v[13] | v[14]) & ~1) != 0) __builtin_trap();
  }
}

void CheckTime(const SYSTEMTIME& t) {
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.dayOfWeek > 6 || t.hour > 23 || t.minute > 59 ||
      t.second > 59 || t.milliseconds > 999) {
    __builtin_trap();
  }
}

// Bytes any reply of this input may have left in a buffer.
size_t g_inputSize = 0;

void CheckPicture(const char* picture, int length) {
  if (picture == nullptr || length < 0 || static_cast<size_t>(length) > kLargeBuffer) __builtin_trap();
  unsigned sum = 0;
  for (int i = 0; i < length; ++i) sum += static_cast<uint8_t>(picture[i]);
  (void)sum;
  // The rest of the lent buffer is zero: no byte of an earlier, longer
  // picture is left behind it.
  const size_t end = std::min(kLargeBuffer, static_cast<size_t>(length) + g_inputSize + kHeaderSize);
  for (size_t i = static_cast<size_t>(length); i < end; ++i) {
    if (picture[i] != 0) __builtin_trap();
  }
}

// Stands in the caller's record before a listing: a "no tree" answer must
// leave the record as it was.
DirectoryEntry g_notListed[1];

bool SameTree(const DirectoryTree& a, const DirectoryTree& b) {
  return std::memcmp(a.path, b.path, sizeof a.path) == 0 && a.count == b.count && a.entries == b.entries;
}

void CheckTree(const DirectoryTree& tree, const DirectoryTree& before) {
  if (tree.entries == g_notListed) {
    if (!SameTree(tree, before)) __builtin_trap();
    return;
  }
  CheckTerminated(tree.path, sizeof tree.path);
  if (tree.count < 0 || tree.entries == nullptr) __builtin_trap();
  for (int32_t i = 0; i < tree.count; ++i) CheckTerminated(tree.entries[i].name, sizeof tree.entries[i].name);
}

template <typename T>
T Pattern(unsigned arg) {
  T value;
  std::memset(&value, static_cast<int>(0x11 * (arg + 1)), sizeof value);
  return value;
}

// ---- the calls an input chooses from

constexpr unsigned kT = kCallTimeoutMs;

// A read into a record of the call's own: the sanitizers watch what is
// written into it.
template <typename T, int (*Get)(int, T*, unsigned)>
int Read(int camera, unsigned) {
  T value;
  return Get(camera, &value, kT);
}

// The current record for even arguments, the factory one for odd.
template <typename T, int (*Get)(int, T*, unsigned), int (*GetDefault)(int, T*, unsigned)>
int ReadEither(int camera, unsigned arg) {
  T value;
  return (arg % 2 == 0 ? Get : GetDefault)(camera, &value, kT);
}

// A record filled with a pattern of the argument, written.
template <typename T, int (*Set)(int, const T*, unsigned)>
int Write(int camera, unsigned arg) {
  const T value = Pattern<T>(arg);
  return Set(camera, &value, kT);
}

template <int (*Act)(int, unsigned)>
int Do(int camera, unsigned) {
  return Act(camera, kT);
}

// The trigger inputs, checked as the current or the factory set.
template <int (*Get)(int, TriggInputSet*, unsigned), bool kFactory>
int ReadTriggers(int camera, unsigned) {
  TriggInputSet set;
  const int r = Get(camera, &set, kT);
  if (r == 0) CheckTrigger(set, kFactory);
  return r;
}

struct CallKind {
  const char* name;
  int (*run)(int camera, unsigned arg);
};

// In this order: a call's byte names its index (fuzz/make-corpus.py keeps
// the same list).
constexpr CallKind kCalls[] = {
    {"GetState",
     [](int camera, unsigned) {
       int state = -1;
       // 0 when the camera answered, 1 when it did not.
       const int r = VKT_GetState(camera, &state, kT);
       if ((r == 0 && state != 0) || (r != 0 && state == 0)) __builtin_trap();
       return r;
     }},
    {"GetAE", Read<int, VKT_GetAE>},
    {"GetImageRotation",
     [](int camera, unsigned) {
       int v = -1;
       const int r = VKT_GetImageRotation(camera, &v, kT);
       if (r == 0 && v != 0 && v != 90 && v != 180 && v != 270) __builtin_trap();
       return r;
     }},
    {"SetImageRotation",
     [](int camera, unsigned arg) {
       static constexpr int kAngles[] = {0, 90, 180, 270, 45};
       return VKT_SetImageRotation(camera, kAngles[arg % 5], kT);
     }},
    {"GetTemperature",
     [](int camera, unsigned) {
       int degrees = 0;
       const int r = VKT_GetCameraTemperature(camera, &degrees, kT);
       if (r == 0 && (degrees < -127 || degrees > 127)) __builtin_trap();
       return r;
     }},
    {"GetDeviceInfo", ReadEither<DeviceInfo, VKT_GetDeviceInfo, VKT_GetDefaultDeviceInfo>},
    {"SetDeviceInfo", Write<DeviceInfo, VKT_SetDeviceInfo>},
    {"GetITSParam", Read<ITSParam, VKT_GetITSParam>},
    {"GetDefaultITSParam", Read<ITSParam, VKT_GetDefaultITSParam>},
    {"SetITSParam", Write<ITSParam, VKT_SetITSParam>},
    {"GetNightControl", ReadEither<NightControlParam, VKT_GetNightControlParam, VKT_GetDefaultNightControlParam>},
    {"SetNightControl", Write<NightControlParam, VKT_SetNightControlParam>},
    {"GetFTPParam", Read<FTPParam, VKT_GetFTPParam>},
    {"GetSpeedInfo", Read<SpeedInfo, VKT_GetSpeedInfo>},
    {"GetHotRegion", Read<HotRegion, VKT_GetHotRegion>},
    {"GetTimeZone", Read<int, VKT_GetTimeZone>},
    {"SetTimeZone",
     [](int camera, unsigned arg) { return VKT_SetTimeZone(camera, static_cast<int>(arg) - 3, kT); }},
    {"GetNetWorkParam", Read<NetWorkParam, VKT_GetNetWorkParam>},
    {"GetAWBParam", Read<AWBParam, VKT_GetAWBParam>},
    {"SetAWBParam", [](int camera, unsigned arg) { return VKT_SetAWBParam(camera, Pattern<AWBParam>(arg), kT); }},
    {"GetFlashLamp", Read<FlashLampParam, VKT_GetFlashLamp>},
    {"GetDefaultFlashLamp", Read<FlashLampParam, VKT_GetDefaultFlashLamp>},
    {"SetFlashLamp", Write<FlashLampParam, VKT_SetFlashLamp>},
    {"GetTriggInput", ReadTriggers<VKT_GetTriggInputSet, false>},
    {"GetDefaultTriggInput", ReadTriggers<VKT_GetDefaultTriggInputSet, true>},
    {"SetTriggInput",
     [](int camera, unsigned arg) {
       TriggInputSet set{};
       for (TriggInputEntry& e : set.entry) {
         for (int i = 0; i < 15; ++i) e.value[i] = static_cast<int32_t>((arg + static_cast<unsigned>(i)) % 2);
       }
       return VKT_SetTriggInputSet(camera, &set, kT);
     }},
    {"SaveConfig", Do<VKT_SaveConfig>},
    {"GetParamState", Do<VKT_GetParamState>},
    {"NtpTiming", Do<VKT_NTPTiming>},
    {"GetDateTime",
     [](int camera, unsigned) {
       SYSTEMTIME time;
       int extra;
       const int r = VKT_GetDateTime(camera, &time, &extra, kT);
       if (r == 0) CheckTime(time);
       return r;
     }},
    {"SetDateTime",
     [](int camera, unsigned arg) {
       SYSTEMTIME time{2026, 12, 0, 9, 10, 30, 15, static_cast<uint16_t>(arg * 100)};
       return VKT_SetDateTime(camera, &time, static_cast<int>(arg), kT);
     }},
    {"GetSDCardState", Read<SDCardState, VKT_GetSDCardState>},
    {"GetFormatProgress", Read<int, VKT_GetFormatSDCardProgress>},
    {"FormatSDCard", Do<VKT_FormatSDCard>},
    {"GetDirectoryTree",
     [](int camera, unsigned arg) {
       DirectoryTree tree{};
       std::snprintf(tree.path, sizeof tree.path, "%s", arg % 2 == 0 ? "/" : "/20261209");
       tree.count = static_cast<int32_t>(arg);
       tree.entries = g_notListed;
       const DirectoryTree before = tree;
       const int r = VKT_GetDirectoryTree(camera, &tree, kT);
       if (r == 0) CheckTree(tree, before);
       if (r != 0 && !SameTree(tree, before)) __builtin_trap();  // left as it was
       return r;
     }},
    {"GetJPGPic",
     [](int camera, unsigned arg) {
       DirectoryEntry name{};
       std::snprintf(name.name, sizeof name.name, "/20261209/103015_%03u.jpg", arg);
       char* picture = nullptr;
       int length = -1;
       const int r = VKT_GetJPGPic(camera, &name, &picture, &length, kT);
       if (r == 0) {
         CheckPicture(picture, length);
       } else if (picture != nullptr || length != 0) {
         __builtin_trap();  // a failed fetch lends nothing
       }
       return r;
     }},
    {"DeleteJPGPic",
     [](int camera, unsigned arg) {
       uint8_t name[264] = {};
       std::snprintf(reinterpret_cast<char*>(name), sizeof name, "/20261209/103015_%03u.jpg", arg);
       return VKT_DeleteJPGPic(camera, name, kT);
     }},
    {"ResetCamera", [](int camera, unsigned arg) { return VKT_ResetCamera(camera, static_cast<int>(arg % 3), kT); }},
    {"CameraPushes",
     [](int, unsigned) {
       g_camera->PushNext();
       return 0;
     }},
};
constexpr unsigned kCallKinds = std::size(kCalls);

// VKT_FUZZ_TRACE=1 prints each call with its result and last error, to
// see what an input does.
const bool g_trace = std::getenv("VKT_FUZZ_TRACE") != nullptr;

void RunCall(int camera, unsigned call, unsigned arg) {
  const int result = kCalls[call].run(camera, arg);
  if (g_trace) {
    std::fprintf(stderr, "  %s(%u) -> %d, last error 0x%08x\n", kCalls[call].name, arg, result,
                 static_cast<unsigned>(VKT_GetLastError()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  int supported = 0;
  const int started = VKT_Init(VKT_SDK_VERSION, &supported);
  if (started != 0) {
    std::fprintf(stderr,
                 "command_replies fuzzer: VKT_Init returned %d (another process uses the library?); "
                 "run it inside tools/netns-run\n",
                 started);
    std::exit(1);
  }
  g_camera = new LoopbackCamera();
  if (!g_camera->Start()) Die("cannot listen on 127.0.0.1");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  g_inputSize = size;
  const size_t calls = std::min<size_t>(1 + data[0] % 8, size - 1);
  const uint8_t* callBytes = data + 1;
  std::vector<Reply> replies;
  for (size_t at = 1 + calls; at < size;) {
    Reply reply;
    reply.flags = data[at++];
    size_t length = 0;
    if (at < size) length = data[at++];
    if (at < size) length |= size_t{data[at++]} << 8;
    length = std::min(length, size - at);
    reply.bytes.assign(data + at, data + at + length);
    at += length;
    replies.push_back(std::move(reply));
  }
  g_camera->Load(std::move(replies));

  DeviceRecord record{};
  record.ipAddress = htonl(INADDR_LOOPBACK);
  record.macAddress[0] = 0x00;
  record.macAddress[1] = 0x1c;
  record.macAddress[5] = 0x42;
  record.commandPort = g_camera->Port();
  // The model that has every setting.
  std::snprintf(record.modelName, sizeof record.modelName, "%s", "VKT-N2F0Kp");
  const int camera = VKT_AddCamera(&record, nullptr, kCallTimeoutMs);
  if (camera == -1) Die("VKT_AddCamera failed");

  for (size_t i = 0; i < calls; ++i) RunCall(camera, callBytes[i] % kCallKinds, callBytes[i] / kCallKinds);

  if (VKT_DelCamera(camera) != 0) Die("VKT_DelCamera failed");
  return 0;
}

#include "idle_camera_cost.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "VKTNetSDK11.h"

namespace vktbench {
namespace {

using Clock = std::chrono::steady_clock;

// Nothing listens there inside a private namespace: each connect attempt is
// refused at once, as for a camera that is switched off.
constexpr uint16_t kUnusedPort = 39999;
constexpr long kConnectMicros = 20;  // the library's attempt at creation
constexpr int kWarmUp = 16;

// Free heap pages go back to the system, so what one run freed is not
// reused for free by the next.
void ReleaseFreedMemory() { malloc_trim(0); }

uint32_t AddressOf(int i) {
  // 127.1.0.1, 127.1.0.2, ... distinct per camera.
  return htonl((127u << 24) | (1u << 16) | (static_cast<uint32_t>(i / 250) << 8) | static_cast<uint32_t>(1 + i % 250));
}

DeviceRecord RecordOf(int i) {
  DeviceRecord record{};
  record.ipAddress = AddressOf(i);
  record.addressWord1 = htonl(0xFFFF0000u);
  record.commandPort = kUnusedPort;
  record.macAddress[0] = 0x02;  // locally administered
  record.macAddress[3] = static_cast<uint8_t>(i >> 16);
  record.macAddress[4] = static_cast<uint8_t>(i >> 8);
  record.macAddress[5] = static_cast<uint8_t>(i);
  std::strcpy(record.modelName, "VKT-N2F0Kq");
  return record;
}

// What a minimal hand-written client keeps per camera.
struct PlainContext {
  DeviceRecord record;
  uint8_t request[1024];
  uint8_t reply[1024];
  int socket;
  std::mutex lock;
  int32_t sequence;
  int32_t handle;
  uint32_t hostAddress;
};
static_assert(sizeof(DeviceRecord) == 216);

// A non-blocking connect bounded by kConnectMicros; the socket is kept
// only when it connected, as the library does.
int ConnectAttempt(const DeviceRecord& record) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(record.commandPort & 0xFFFF));
  addr.sin_addr.s_addr = record.ipAddress;
  int result = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  if (result != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    timespec wait{0, kConnectMicros * 1000};
    int error = 0;
    socklen_t length = sizeof error;
    if (ppoll(&p, 1, &wait, nullptr) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
        error == 0) {
      result = 0;
    }
  }
  if (result != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

PlainContext* NewPlainContext(const DeviceRecord& record, int handle) {
  auto* context = new PlainContext{};  // zeroed, as the library's buffers are
  context->record = record;
  context->handle = handle;
  context->socket = ConnectAttempt(record);
  return context;
}

void DeletePlainContext(PlainContext* context) {
  if (context->socket >= 0) close(context->socket);
  delete context;
}

double MicrosSince(Clock::time_point start, int n) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / n;
}

CostPerCamera MeasureRaw(int cameras) {
  std::vector<PlainContext*> contexts;
  for (int i = 0; i < kWarmUp; ++i) contexts.push_back(NewPlainContext(RecordOf(i), i));
  for (PlainContext* c : contexts) DeletePlainContext(c);
  contexts = {};
  ReleaseFreedMemory();

  contexts.reserve(static_cast<size_t>(cameras));  // the harness's list is not the client's cost
  CostPerCamera cost;
  const long before = ResidentKiB();
  const auto start = Clock::now();
  for (int i = 0; i < cameras; ++i) contexts.push_back(NewPlainContext(RecordOf(i), i));
  cost.addMicros = MicrosSince(start, cameras);
  cost.residentKiB = static_cast<double>(ResidentKiB() - before) / cameras;
  for (PlainContext* c : contexts) DeletePlainContext(c);
  ReleaseFreedMemory();
  return cost;
}

// The handles added, or an empty list with `error` set.
std::vector<int> AddCameras(int first, int count, const char** error) {
  std::vector<int> handles;
  handles.reserve(static_cast<size_t>(count));
  for (int i = first; i < first + count; ++i) {
    DeviceRecord record = RecordOf(i);
    int handle = VKT_AddCamera(&record, nullptr, 1000);
    if (handle == -1) {
      *error = "VKT_AddCamera failed";
      for (int h : handles) VKT_DelCamera(h);
      return {};
    }
    handles.push_back(handle);
  }
  return handles;
}

bool DeleteCameras(const std::vector<int>& handles) {
  bool ok = true;
  for (int h : handles) ok = VKT_DelCamera(h) == 0 && ok;
  return ok;
}

}  // namespace

IdleCameraCost MeasureIdleCameraCost(int cameras) {
  IdleCameraCost result;
  result.cameras = cameras;
  if (cameras <= 0) {
    result.failed = 1;
    result.error = "no cameras to add";
    return result;
  }
  // The baseline first: what the library frees afterwards cannot lower it.
  result.raw = MeasureRaw(cameras);

  // Warm up what the library sets up once (its first camera, its lists).
  std::vector<int> warm = AddCameras(cameras, kWarmUp, &result.error);
  if (warm.empty() || !DeleteCameras(warm)) {
    result.failed = 1;
    if (!warm.empty()) result.error = "VKT_DelCamera failed";
    return result;
  }
  ReleaseFreedMemory();

  const long before = ResidentKiB();
  const auto start = Clock::now();
  std::vector<int> handles = AddCameras(0, cameras, &result.error);
  if (handles.empty()) {
    result.failed = 1;
    return result;
  }
  result.library.addMicros = MicrosSince(start, cameras);
  result.library.residentKiB = static_cast<double>(ResidentKiB() - before) / cameras;
  if (!DeleteCameras(handles)) {
    result.failed = 1;
    result.error = "VKT_DelCamera failed";
  }
  ReleaseFreedMemory();
  return result;
}

long ResidentKiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib;
}

}  // namespace vktbench

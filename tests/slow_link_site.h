// A site of cameras behind slow links, for tests and benchmarks: emulated
// cameras in a network namespace of their own, each behind its own veth
// pair whose camera side sends through a token bucket filter (tc tbf), so
// whatever a camera sends to the host (replies, pictures, stream) crosses a
// link of the given rate. The library stays in the caller's namespace,
// which must be a private one (tools/netns-run): the site adds interfaces
// there. One vkt-emulator process plays every camera; its control channel
// is reached over one more, unlimited, link.
//
// Camera i (from 0) has the /30 10.200.0.0 + 4i: the host side .1, the
// camera .2 (camera 300: host 10.200.4.177, camera 10.200.4.178); the
// control link is 10.199.255.1 / .2. Free of GoogleTest: failures come back
// as false with a message.
#pragma once

#include <arpa/inet.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace vkttest {

struct SlowLinkCamera {
  int id = 0;                    // the emulator's camera id (the control channel's <id>)
  std::string address;           // the camera's, dotted
  std::string hostAddress;       // the host side of its link: where its pictures go
  std::array<uint8_t, 6> mac{};  // 00:1c:27:c8:HH:LL with HHLL = id
  uint16_t commandPort = 30000;
  std::string model = "VKT-N2F0Kq";
  std::string hostInterface;    // in the caller's namespace
  std::string cameraInterface;  // in the site's namespace, where the limiter sits
};

// What VKT_AddCamera needs, into a DeviceRecord (or any struct with its
// fields): the site's cameras are added without a search.
template <typename Record>
void FillDeviceRecord(const SlowLinkCamera& camera, Record& record) {
  std::memset(&record, 0, sizeof record);
  inet_pton(AF_INET, camera.address.c_str(), &record.ipAddress);
  std::memcpy(record.macAddress, camera.mac.data(), camera.mac.size());
  record.commandPort = camera.commandPort;
  std::strncpy(record.modelName, camera.model.c_str(), sizeof record.modelName - 1);
}

struct SlowLinkOptions {
  int cameras = 1;              // 1..4096
  std::string rate = "20mbit";  // tc's form: N bit, kbit, mbit or gbit (per second)
  // How long a packet may wait in a link's queue before the limiter drops
  // it (the queue's length, as tc's latency).
  std::string latency = "100ms";
  // The bucket's depth: bytes that may leave at the veth's speed. Default:
  // 5 ms at the rate, at least 4 KiB.
  size_t burstBytes = 0;
  std::string emulatorPath;  // the vkt-emulator program
  std::chrono::seconds lifetime{600};  // the emulator stops by itself after this
};

class SlowLinkSite {
 public:
  SlowLinkSite() = default;
  ~SlowLinkSite() { Destroy(); }
  SlowLinkSite(const SlowLinkSite&) = delete;
  SlowLinkSite& operator=(const SlowLinkSite&) = delete;

  // Makes the namespace, the links and their limiters, starts the emulator
  // and waits for it (a few seconds for 256 cameras). False with a message
  // when anything fails, and then nothing is left behind. One site at a
  // time per process. Must run on a thread that outlives the site: the
  // emulator is killed when that thread ends.
  bool Create(const SlowLinkOptions& options, std::string* error);
  bool Create(int cameras, const std::string& rate, const std::string& emulatorPath, std::string* error);

  // Stops the emulator, deletes the links and the namespace. Also run by
  // the destructor; harmless when there is nothing to remove.
  void Destroy();

  bool Created() const { return emulator_ != nullptr; }
  const std::vector<SlowLinkCamera>& Cameras() const { return cameras_; }
  const std::string& Namespace() const { return namespace_; }
  uint64_t RateBitsPerSecond() const { return rateBits_; }

  // Sends one control command (see vkt-emulator --help) and returns the
  // emulator's reply, every line of it ("ok ...\n"; multi-line replies
  // up to their closing "."), or "error control channel: ..." when the
  // channel fails. Thread-safe.
  std::string Control(const std::string& command, std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Bytes that camera i's limiter has let through (tc's counter), nullopt
  // when it cannot be read.
  std::optional<uint64_t> LinkBytesSent(int camera) const;

 private:
  bool Build(const SlowLinkOptions& options, std::string* error);
  bool StartEmulator(const SlowLinkOptions& options, std::string* error);
  bool ConnectControl(std::string* error);

  std::string namespace_;
  std::vector<SlowLinkCamera> cameras_;
  std::string controlHostInterface_;
  uint64_t rateBits_ = 0;
  bool owner_ = false;  // holds the process's one site
  std::unique_ptr<Child> emulator_;
  std::string configFile_;
  std::mutex controlMutex_;
  int control_ = -1;
  std::string controlInput_;
};

// tc's rate text in bits per second ("20mbit": 20000000); nullopt for
// anything else.
std::optional<uint64_t> ParseLinkRate(const std::string& text);

}  // namespace vkttest

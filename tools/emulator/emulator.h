// In-process camera emulator: plays one or more cameras on this host so the
// client library can be exercised end to end without hardware.
//
// Each camera has its own 127.0.0.X address, MAC, model and command port.
// Today the emulator answers discovery probes and change-IP requests on the
// shared UDP discovery port; the camera subsystems that come later (command
// channel, picture push, stream, SD card) hang off the same Camera objects.
//
// The emulator never links the client library: it keeps its own copy of the
// wire formats (wire.h), so a bug in one cannot hide a bug in the other.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vktemu {

using Mac = std::array<uint8_t, 6>;

struct CameraConfig {
  std::string address = "127.0.0.10";  // camera's own IPv4 address (dotted)
  Mac mac{0x00, 0x1c, 0x27, 0x00, 0x00, 0x10};
  std::string model = "VKT-N2F0Kq";
  uint16_t commandPort = 30000;
  uint32_t addressWord1 = 0;  // raw bytes as they go on the wire (netmask, network order)
  uint32_t addressWord2 = 0;  // raw (gateway, network order)
  std::string infoText1 = "fw 1.0.0";
  std::string infoText2 = "emulated camera";
  std::array<int32_t, 6> infoWords{};
  std::array<uint8_t, 64> infoBlock{};
  int32_t tailWord1 = 0, tailWord2 = 0;
};

// Misbehaviours a test can switch on per camera. Out-of-range values are
// clamped when used (copies 0..1000, delays 0..3600000 ms, answer length
// 0..65507 bytes).
struct DiscoveryFaults {
  bool silent = false;          // never answers probes
  int answerDelayMs = 0;        // answers this long after the probe, without blocking anything else
  int answerCopies = 1;         // sends each answer this many times (0: none)
  int answerLengthDelta = 0;    // -1 sends 395 bytes, +1 sends 397 (zero padded / cut)
  bool badKeyword = false;      // first 16 bytes read "IPNC_AnswerInfo?"
  bool ignoreChangeIp = false;  // takes no address, sends no echo
  bool corruptEcho = false;     // echoes with one filler byte changed and takes no address
  int echoDelayMs = 0;          // echo this long after the request
};

struct ReceivedDatagram {
  std::chrono::steady_clock::time_point at{};
  std::string sourceAddress;
  uint16_t sourcePort = 0;
  std::vector<uint8_t> bytes;
};

// The exact discovery answer the camera sends (without faults applied).
// An address that is not dotted IPv4 goes out as 0.0.0.0.
std::array<uint8_t, 396> buildDiscoveryAnswer(const CameraConfig&);

class Emulator {
 public:
  Emulator();
  ~Emulator();  // stops
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Returns the new camera's id (0, 1, 2...), or -1 when config.address is
  // not a dotted IPv4 address. Allowed before or after start().
  int addCamera(const CameraConfig&);

  // Binds UDP 0.0.0.0:34565 (SO_REUSEADDR) and starts the receive thread.
  // False with a message when the port cannot be opened or it already runs.
  // May be called again after stop().
  bool start(std::string* error = nullptr);

  // Joins everything; idempotent; returns within a few milliseconds.
  // Answers and echoes still waiting for their delay are dropped.
  void stop();
  bool running() const;

  // Current state (after a change-IP: the new address and words).
  // Throws std::out_of_range for an unknown id.
  CameraConfig camera(int id) const;
  size_t cameraCount() const;

  // Throws std::out_of_range for an unknown id.
  void setDiscoveryFaults(int id, const DiscoveryFaults&);
  DiscoveryFaults discoveryFaults(int id) const;

  // Every datagram received on the discovery port, in order (the first
  // 100000 since the last clearTraffic(); the counts below go on past that).
  std::vector<ReceivedDatagram> discoveryTraffic() const;
  void clearTraffic();
  size_t probeCount() const;     // probes received since the last clearTraffic()
  size_t datagramCount() const;  // datagrams received since the last clearTraffic()
  bool waitForProbes(size_t n, std::chrono::milliseconds timeout) const;
  bool waitForDatagrams(size_t n, std::chrono::milliseconds timeout) const;

  // Sends bytes as they are, unicast, from the discovery socket (scripted
  // malformed traffic in tests). False when not running or the send fails.
  bool sendRaw(const std::string& toAddress, uint16_t port, const std::vector<uint8_t>& bytes);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vktemu

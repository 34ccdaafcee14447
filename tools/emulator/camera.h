// One emulated camera: its identity, its current network settings, the
// state its command channel keeps and the faults a test asked it to show,
// and the registry of all cameras by id. Its servers read and change it
// from their own threads: the members below lock themselves, the rest goes
// through the camera's lock.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "camera_clock.h"
#include "camera_logs.h"
#include "command_wire.h"
#include "emulator.h"
#include "sd_card.h"
#include "settings_model.h"
#include "stream_state.h"
#include "test_pattern.h"
#include "wire.h"
#include "worker.h"

namespace vktemu {

class Camera {
 public:
  Camera(const CameraConfig& config, int cameraId);

  const int id;  // in the registry; the test pattern shows it

  CameraConfig config() const;
  wire::Ipv4 address() const;  // 0.0.0.0 when the configured text is not dotted IPv4
  uint16_t commandPort() const;
  bool hasMac(const Mac& mac) const;

  // A change-IP request addressed to this camera, or a Set of its network
  // setting: the new address and the two address words replace the current
  // ones, in the network setting too. Its command server moves after it.
  void takeAddress(const wire::Ipv4& address, uint32_t word1, uint32_t word2);

  // Command 0 holds the faults for every command without a set of its own.
  void setCommandFaults(int32_t command, const CommandFaults& faults);
  void clearCommandFaults();
  std::optional<CommandFaults> commandFaults(int32_t command) const;           // exactly this command's
  std::optional<CommandFaults> effectiveCommandFaults(int32_t command) const;  // or else command 0's
  // A reply forced to a failing status: a camera that refused the request,
  // so the request changes nothing.
  bool refusedByFault(int32_t command) const;

  // Runs f(SettingsStore&, SettingsModel&) under the camera's lock and
  // returns its result.
  template <typename F>
  decltype(auto) withState(F&& f) {
    std::lock_guard lock(mutex_);
    return f(settings_, model_);
  }
  template <typename F>
  decltype(auto) withModel(F&& f) {
    return withState([&](SettingsStore&, SettingsModel& model) -> decltype(auto) { return f(model); });
  }
  template <typename F>
  decltype(auto) withSettings(F&& f) {
    return withState([&](SettingsStore& store, SettingsModel&) -> decltype(auto) { return f(store); });
  }

  Shared<DiscoveryFaults> discoveryFaults;
  Shared<int32_t> replyVersion{wire::kProtocolVersion};
  Shared<PushTarget> pushTarget;  // the last 1080
  Shared<PushFaults> pushFaults;
  Shared<JpegFormat> pictureFormat{{640, 480, 85}};
  PictureQueue pictureQueue;
  Shared<PushHistory> pictureLog;
  StreamState streamState;
  Shared<StreamHistory> streamLog;
  Shared<CommandTraffic> commandLog;
  CameraClock clock;
  SdCard sdCard;

 private:
  mutable std::mutex mutex_;
  CameraConfig config_;
  std::map<int32_t, CommandFaults> commandFaults_;
  SettingsStore settings_;
  SettingsModel model_;
};

// The emulated cameras, by id. Cameras may be added while servers run, so
// servers take a snapshot per datagram instead of holding the lock.
class CameraRegistry {
 public:
  int add(const CameraConfig& config);         // returns the new id
  std::shared_ptr<Camera> find(int id) const;  // nullptr for an unknown id
  std::vector<std::shared_ptr<Camera>> all() const;
  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Camera>> cameras_;
};

}  // namespace vktemu

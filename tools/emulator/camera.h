// One emulated camera: its identity, its current network settings, the
// state its command channel keeps and the faults a test asked it to show.
// Subsystem responders read and change it from their own threads, so every
// access goes through the lock.
#pragma once

#include <map>
#include <mutex>
#include <optional>

#include "camera_clock.h"
#include "command_log.h"
#include "emulator.h"
#include "picture_log.h"
#include "picture_queue.h"
#include "sd_card.h"
#include "settings_model.h"
#include "settings_store.h"
#include "stream_log.h"
#include "stream_state.h"
#include "wire.h"

namespace vktemu {

struct PictureFormat {
  int width = 640;
  int height = 480;
  int quality = 85;
};

class Camera {
 public:
  explicit Camera(const CameraConfig& config);

  CameraConfig config() const;
  wire::Ipv4 address() const;  // 0.0.0.0 when the configured text is not dotted IPv4
  uint16_t commandPort() const;
  bool hasMac(const Mac& mac) const;

  // A change-IP request addressed to this camera, or a Set of its network
  // setting: the new address and the two address words replace the current
  // ones, in the network setting too. Its command server moves after it.
  void takeAddress(const wire::Ipv4& address, uint32_t word1, uint32_t word2);

  DiscoveryFaults discoveryFaults() const;
  void setDiscoveryFaults(const DiscoveryFaults& faults);

  // Command 0 holds the faults for every command without a set of its own.
  void setCommandFaults(int32_t command, const CommandFaults& faults);
  void clearCommandFaults();
  std::optional<CommandFaults> commandFaults(int32_t command) const;           // exactly this command's
  std::optional<CommandFaults> effectiveCommandFaults(int32_t command) const;  // or else command 0's

  int32_t replyVersion() const;
  void setReplyVersion(int32_t version);

  // Runs f(SettingsStore&) under the camera's lock and returns its result.
  template <typename F>
  decltype(auto) withSettings(F&& f) {
    std::lock_guard lock(mutex_);
    return f(settings_);
  }
  // Runs f(SettingsModel&) under the camera's lock and returns its result.
  template <typename F>
  decltype(auto) withModel(F&& f) {
    std::lock_guard lock(mutex_);
    return f(model_);
  }
  // Both at once: f(SettingsStore&, SettingsModel&).
  template <typename F>
  decltype(auto) withState(F&& f) {
    std::lock_guard lock(mutex_);
    return f(settings_, model_);
  }

  PushTarget pushTarget() const;
  void setPushTarget(const PushTarget& target);
  PushTarget streamTarget() const;
  void setStreamTarget(const PushTarget& target);  // the stream follows it at once

  PushFaults pushFaults() const;
  void setPushFaults(const PushFaults& faults);
  PictureFormat pictureFormat() const;
  void setPictureFormat(const PictureFormat& format);  // clamped

  // Lock themselves.
  PictureQueue& pictureQueue() { return pictureQueue_; }
  PictureLog& pictureLog() { return pictureLog_; }
  const PictureLog& pictureLog() const { return pictureLog_; }

  // Lock themselves.
  StreamState& streamState() { return streamState_; }
  const StreamState& streamState() const { return streamState_; }
  StreamLog& streamLog() { return streamLog_; }
  const StreamLog& streamLog() const { return streamLog_; }

  // Locks itself.
  CommandLog& commandLog() { return commandLog_; }
  const CommandLog& commandLog() const { return commandLog_; }
  // Locks itself.
  CameraClock& clock() { return clock_; }
  const CameraClock& clock() const { return clock_; }
  // Locks itself.
  SdCard& sdCard() { return sdCard_; }

 private:
  mutable std::mutex mutex_;
  CameraConfig config_;
  DiscoveryFaults discoveryFaults_;
  std::map<int32_t, CommandFaults> commandFaults_;
  int32_t replyVersion_;
  SettingsStore settings_;
  SettingsModel model_;
  PushTarget pushTarget_;
  PushTarget streamTarget_;
  PushFaults pushFaults_;
  PictureFormat pictureFormat_;
  CommandLog commandLog_;
  CameraClock clock_;
  PictureQueue pictureQueue_;
  PictureLog pictureLog_;
  StreamState streamState_;
  StreamLog streamLog_;
  SdCard sdCard_;
};

}  // namespace vktemu

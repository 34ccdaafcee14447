#include "emulator.h"

#include <mutex>
#include <stdexcept>

#include "command_handlers.h"
#include "command_server.h"
#include "command_wire.h"
#include "discovery_responder.h"
#include "picture_pusher.h"
#include "setting_table.h"
#include "stream_sender.h"
#include "wire.h"

namespace vktemu {
namespace {

// The key of a setting of this form; throws for anything else.
int32_t settingKey(int key, SettingForm form) {
  const SettingDef* def = findSetting(key);
  if (!def || def->form != form)
    throw std::invalid_argument(std::string(form == SettingForm::kValue ? "no value setting " : "no record setting ") +
                                std::to_string(key));
  return key;
}

}  // namespace

struct Emulator::Impl {
  // One camera's servers.
  struct Servers {
    Servers(const std::shared_ptr<Camera>& camera, const CommandTable& table)
        : commands(camera, table), pusher(camera), stream(camera) {}
    CommandServer commands;
    PicturePusher pusher;
    StreamSender stream;
  };

  CameraRegistry cameras;
  Shared<DiscoveryTraffic> discoveryTraffic;
  const CommandTable commands = standardCommands();
  DiscoveryResponder discovery{cameras, discoveryTraffic, wire::kDiscoveryPort,
                               [this](const std::shared_ptr<Camera>& camera) { followAddress(*camera); }};

  std::mutex lifecycleMutex;  // start, stop, addCamera
  bool started = false;

  // Held only to look servers up, never across a start or stop: the
  // discovery thread looks them up while stop() waits for it.
  mutable std::mutex serversMutex;
  std::vector<std::shared_ptr<Servers>> servers;  // by camera id

  ~Impl() {
    // The discovery thread calls into the servers; it goes first.
    discovery.stop();
  }

  std::shared_ptr<Camera> camera(int id) const {
    auto found = cameras.find(id);
    if (!found) throw std::out_of_range("no camera with id " + std::to_string(id));
    return found;
  }

  Servers& of(int id) const {
    std::lock_guard lock(serversMutex);
    if (id < 0 || static_cast<size_t>(id) >= servers.size())
      throw std::out_of_range("no camera with id " + std::to_string(id));
    return *servers[static_cast<size_t>(id)];
  }

  std::vector<std::shared_ptr<Servers>> all() const {
    std::lock_guard lock(serversMutex);
    return servers;
  }

  void followAddress(const Camera& camera) {
    for (const auto& each : all()) {
      if (each->commands.camera() == &camera) each->commands.followAddress();
    }
  }

  bool startPictures(std::string* error) {
    const auto everything = all();
    for (const auto& each : everything) {
      if (!each->pusher.start(error)) return false;
    }
    for (const auto& each : everything) {
      if (!each->stream.start(error)) return false;
    }
    return true;
  }

  void stopAll() {
    const auto everything = all();
    // Streams of padded frames keep the processors busy: they are told
    // first, so everything else stops without waiting for a processor.
    for (const auto& each : everything) each->stream.requestStop();
    discovery.stop();
    for (const auto& each : everything) each->commands.stop();
    for (const auto& each : everything) each->pusher.stop();
    for (const auto& each : everything) each->stream.stop();
    started = false;
  }
};

Emulator::Emulator() : impl_(std::make_unique<Impl>()) {}

Emulator::~Emulator() { stop(); }

int Emulator::addCamera(const CameraConfig& config) {
  if (!wire::parseIpv4(config.address)) return -1;
  std::lock_guard lifecycle(impl_->lifecycleMutex);
  const int id = impl_->cameras.add(config);
  const auto servers = std::make_shared<Impl::Servers>(impl_->cameras.find(id), impl_->commands);
  {
    std::lock_guard lock(impl_->serversMutex);
    impl_->servers.push_back(servers);
  }
  if (impl_->started) {
    // Only an eventfd can fail here; the camera then pushes and streams nothing.
    servers->pusher.start(nullptr);
    servers->stream.start(nullptr);
    if (!servers->commands.start(nullptr)) {
      // Its port is taken: the camera runs unreachable until listening is
      // switched on again.
      servers->commands.setListening(false);
      servers->commands.start(nullptr);
    }
  }
  return id;
}

bool Emulator::start(std::string* error) {
  std::lock_guard lifecycle(impl_->lifecycleMutex);
  std::string why;
  if (!impl_->discovery.start(&why)) {
    if (error) *error = "discovery port: " + why;
    return false;
  }
  impl_->started = true;
  for (const auto& each : impl_->all()) {
    if (!each->commands.start(&why)) {
      if (error) *error = "command port " + why;
      impl_->stopAll();
      return false;
    }
  }
  if (!impl_->startPictures(&why)) {
    if (error) *error = "picture push or stream: " + why;
    impl_->stopAll();
    return false;
  }
  return true;
}

void Emulator::stop() {
  std::lock_guard lifecycle(impl_->lifecycleMutex);
  impl_->stopAll();
}

bool Emulator::running() const { return impl_->discovery.running(); }

CameraConfig Emulator::camera(int id) const { return impl_->camera(id)->config(); }

size_t Emulator::cameraCount() const { return impl_->cameras.size(); }

void Emulator::setDiscoveryFaults(int id, const DiscoveryFaults& faults) {
  impl_->camera(id)->discoveryFaults.set(faults);
}

DiscoveryFaults Emulator::discoveryFaults(int id) const { return impl_->camera(id)->discoveryFaults.get(); }

std::vector<ReceivedDatagram> Emulator::discoveryTraffic() const {
  return impl_->discoveryTraffic.field(&DiscoveryTraffic::kept);
}

void Emulator::clearTraffic() { impl_->discoveryTraffic.set({}); }

size_t Emulator::probeCount() const { return impl_->discoveryTraffic.field(&DiscoveryTraffic::probes); }

size_t Emulator::datagramCount() const { return impl_->discoveryTraffic.field(&DiscoveryTraffic::datagrams); }

bool Emulator::waitForProbes(size_t n, std::chrono::milliseconds timeout) const {
  return impl_->discoveryTraffic.waitAtLeast(&DiscoveryTraffic::probes, n, timeout);
}

bool Emulator::waitForDatagrams(size_t n, std::chrono::milliseconds timeout) const {
  return impl_->discoveryTraffic.waitAtLeast(&DiscoveryTraffic::datagrams, n, timeout);
}

bool Emulator::sendRaw(const std::string& toAddress, uint16_t port, const std::vector<uint8_t>& bytes) {
  return impl_->discovery.sendRaw(toAddress, port, bytes);
}

void Emulator::setCommandFaults(int cameraId, int command, const CommandFaults& faults) {
  impl_->camera(cameraId)->setCommandFaults(command, faults);
}

void Emulator::clearCommandFaults(int cameraId) { impl_->camera(cameraId)->clearCommandFaults(); }

std::optional<CommandFaults> Emulator::commandFaults(int cameraId, int command) const {
  return impl_->camera(cameraId)->commandFaults(command);
}

void Emulator::setReplyVersion(int cameraId, int32_t version) { impl_->camera(cameraId)->replyVersion.set(version); }

void Emulator::setReplyValue(int cameraId, int command, int32_t value) {
  impl_->camera(cameraId)->withSettings([&](SettingsStore& store) { store.setValue(command, value); });
}

void Emulator::setReplyPayload(int cameraId, int command, std::vector<uint8_t> payload) {
  impl_->camera(cameraId)->withSettings([&](SettingsStore& store) { store.setPayload(command, std::move(payload)); });
}

void Emulator::setSettingPair(int cameraId, int getCommand, int setCommand) {
  impl_->camera(cameraId)->withSettings([&](SettingsStore& store) { store.pair(getCommand, setCommand); });
}

std::vector<CommandRecord> Emulator::commandTraffic(int cameraId) const {
  return impl_->camera(cameraId)->commandLog.field(&CommandTraffic::kept);
}

size_t Emulator::commandCount(int cameraId) const {
  return impl_->camera(cameraId)->commandLog.field(&CommandTraffic::count);
}

void Emulator::clearCommandTraffic(int cameraId) { impl_->camera(cameraId)->commandLog.set({}); }

bool Emulator::waitForCommands(int cameraId, size_t n, std::chrono::milliseconds timeout) const {
  return impl_->camera(cameraId)->commandLog.waitAtLeast(&CommandTraffic::count, n, timeout);
}

size_t Emulator::connectionCount(int cameraId) const { return impl_->of(cameraId).commands.connectionCount(); }

size_t Emulator::openConnectionCount(int cameraId) const { return impl_->of(cameraId).commands.openConnectionCount(); }

PushTarget Emulator::pushTarget(int cameraId) const { return impl_->camera(cameraId)->pushTarget.get(); }

PushTarget Emulator::streamTarget(int cameraId) const { return impl_->camera(cameraId)->streamState.settings().target; }

void Emulator::setCommandListening(int cameraId, bool listening) {
  impl_->of(cameraId).commands.setListening(listening);
}

void Emulator::closeCommandConnections(int cameraId) { impl_->of(cameraId).commands.dropConnections(); }

void Emulator::setTemperature(int cameraId, double degrees) {
  setCurrentValue(cameraId, wire::command::kTemperature, encodeTemperature(degrees));
}

void Emulator::setSaveDelay(int cameraId, std::chrono::milliseconds delay) {
  impl_->camera(cameraId)->withModel([&](SettingsModel& model) { model.setSaveDelay(delay); });
}

size_t Emulator::saveCount(int cameraId) const {
  return impl_->camera(cameraId)->withModel([](SettingsModel& model) { return model.saveCount(); });
}

size_t Emulator::resetCount(int cameraId) const {
  return impl_->camera(cameraId)->withModel([](SettingsModel& model) { return model.resetCount(); });
}

std::vector<uint8_t> Emulator::currentRecord(int cameraId, int getCommand) const {
  const int32_t key = settingKey(getCommand, SettingForm::kRecord);
  return impl_->camera(cameraId)->withModel([&](SettingsModel& model) { return *model.record(key); });
}

std::vector<uint8_t> Emulator::factoryRecord(int cameraId, int getCommand) const {
  const int32_t key = settingKey(getCommand, SettingForm::kRecord);
  return impl_->camera(cameraId)->withModel([&](SettingsModel& model) { return *model.factoryRecord(key); });
}

void Emulator::setCurrentRecord(int cameraId, int getCommand, std::vector<uint8_t> bytes) {
  const int32_t key = settingKey(getCommand, SettingForm::kRecord);
  const bool taken = impl_->camera(cameraId)->withModel([&](SettingsModel& model) { return model.setRecord(key, bytes); });
  if (!taken)
    throw std::invalid_argument("record " + std::to_string(getCommand) + " does not hold " +
                                std::to_string(bytes.size()) + " bytes");
}

int32_t Emulator::currentValue(int cameraId, int getCommand) const {
  const int32_t key = settingKey(getCommand, SettingForm::kValue);
  return impl_->camera(cameraId)->withModel([&](SettingsModel& model) { return *model.value(key); });
}

void Emulator::setCurrentValue(int cameraId, int getCommand, int32_t value) {
  const int32_t key = settingKey(getCommand, SettingForm::kValue);
  impl_->camera(cameraId)->withModel([&](SettingsModel& model) { model.setValue(key, value); });
}

int32_t Emulator::factoryValue(int cameraId, int getCommand) const {
  const int32_t key = settingKey(getCommand, SettingForm::kValue);
  return impl_->camera(cameraId)->withModel([&](SettingsModel& model) { return *model.factoryValue(key); });
}

void Emulator::setShortReply(int cameraId, int getCommand, std::optional<uint32_t> bytes) {
  const int32_t key = settingKey(getCommand, SettingForm::kRecord);
  impl_->camera(cameraId)->withModel([&](SettingsModel& model) { model.setShortReply(key, bytes); });
}

void Emulator::setShortRecords(int cameraId, bool on) {
  impl_->camera(cameraId)->withModel([&](SettingsModel& model) { model.setShortForms(on); });
}

void Emulator::setClock(int cameraId, int64_t secondsSince1970, int32_t microseconds) {
  impl_->camera(cameraId)->clock.set(secondsSince1970, microseconds);
}

std::pair<int64_t, int32_t> Emulator::clock(int cameraId) const { return impl_->camera(cameraId)->clock.now(); }

int32_t Emulator::clockExtra(int cameraId) const { return impl_->camera(cameraId)->clock.extra.get(); }

void Emulator::setClockReply(int cameraId, std::optional<std::array<uint8_t, 20>> payload) {
  impl_->camera(cameraId)->clock.forcedReply.set(payload);
}

void Emulator::setNtpDelay(int cameraId, std::chrono::milliseconds delay) {
  impl_->camera(cameraId)->clock.setNtpDelay(delay);
}

size_t Emulator::ntpCount(int cameraId) const { return impl_->camera(cameraId)->clock.ntpCount; }

void Emulator::snapshot(int cameraId, int32_t value) {
  impl_->camera(cameraId)->pictureQueue.post({PictureSource::kSnapshot, value});
}

void Emulator::trigger(int cameraId, int32_t value) {
  impl_->camera(cameraId)->pictureQueue.post({PictureSource::kTrigger, value});
}

void Emulator::startTriggers(int cameraId, double perSecond) { impl_->of(cameraId).pusher.setTriggerRate(perSecond); }

void Emulator::stopTriggers(int cameraId) { impl_->of(cameraId).pusher.setTriggerRate(0); }

void Emulator::setPushFaults(int cameraId, const PushFaults& faults) {
  impl_->camera(cameraId)->pushFaults.set(faults);
}

PushFaults Emulator::pushFaults(int cameraId) const { return impl_->camera(cameraId)->pushFaults.get(); }

void Emulator::setPictureSize(int cameraId, int width, int height, int quality) {
  impl_->camera(cameraId)->pictureFormat.set(clampedFormat(width, height, quality));
}

size_t Emulator::picturesPushed(int cameraId) const {
  return impl_->camera(cameraId)->pictureLog.field(&PushHistory::completed);
}

bool Emulator::waitForPictures(int cameraId, size_t n, std::chrono::milliseconds timeout) const {
  return impl_->camera(cameraId)->pictureLog.waitAtLeast(&PushHistory::completed, n, timeout);
}

size_t Emulator::heldConnections(int cameraId) const {
  return impl_->camera(cameraId)->pictureLog.field(&PushHistory::held);
}

bool Emulator::waitForHeldConnections(int cameraId, size_t n, std::chrono::milliseconds timeout) const {
  return impl_->camera(cameraId)->pictureLog.waitAtLeast(&PushHistory::held, n, timeout);
}

std::vector<PushedPicture> Emulator::pushedPictures(int cameraId) const {
  return impl_->camera(cameraId)->pictureLog.field(&PushHistory::kept);
}

size_t Emulator::snapshotCount(int cameraId) const {
  return impl_->camera(cameraId)->pictureLog.field(&PushHistory::snapshots);
}

void Emulator::setStreamRate(int cameraId, double framesPerSecond) {
  impl_->camera(cameraId)->streamState.setRate(framesPerSecond);
}

void Emulator::setStreamFrameSize(int cameraId, int width, int height, int quality) {
  impl_->camera(cameraId)->streamState.setFrameSize(width, height, quality);
}

void Emulator::setStreamFramePad(int cameraId, size_t bytes) { impl_->camera(cameraId)->streamState.setPad(bytes); }

void Emulator::setStreamFaults(int cameraId, const StreamFaults& faults) {
  impl_->camera(cameraId)->streamState.setFaults(faults);
}

StreamFaults Emulator::streamFaults(int cameraId) const {
  return impl_->camera(cameraId)->streamState.settings().faults;
}

void Emulator::forceStream(int cameraId, std::optional<bool> on) {
  impl_->camera(cameraId)->streamState.setForced(on);
}

size_t Emulator::framesSent(int cameraId) const {
  return impl_->camera(cameraId)->streamLog.field(&StreamHistory::frames);
}

size_t Emulator::datagramsSent(int cameraId) const {
  return impl_->camera(cameraId)->streamLog.field(&StreamHistory::datagrams);
}

bool Emulator::streaming(int cameraId) const { return impl_->of(cameraId).stream.sending(); }

bool Emulator::waitForFrames(int cameraId, size_t n, std::chrono::milliseconds timeout) const {
  return impl_->camera(cameraId)->streamLog.waitAtLeast(&StreamHistory::frames, n, timeout);
}

std::vector<std::vector<uint8_t>> Emulator::sentFrames(int cameraId) const {
  return impl_->camera(cameraId)->streamLog.read([](const StreamHistory& log) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& frame : log.kept) out.push_back(*frame);
    return out;
  });
}

bool Emulator::sendStreamPackets(int cameraId, const std::vector<std::vector<uint8_t>>& datagrams) {
  return impl_->of(cameraId).stream.sendRaw(datagrams);
}

void Emulator::addStoredPicture(int cameraId, const std::string& path, std::vector<uint8_t> bytes) {
  if (!impl_->camera(cameraId)->sdCard.add(path, std::move(bytes)))
    throw std::invalid_argument("not a picture path: " + path);
}

std::vector<std::string> Emulator::storedPictures(int cameraId) const {
  return impl_->camera(cameraId)->sdCard.paths();
}

std::optional<std::vector<uint8_t>> Emulator::storedPicture(int cameraId, const std::string& path) const {
  return impl_->camera(cameraId)->sdCard.picture(path);
}

void Emulator::clearStoredPictures(int cameraId) { impl_->camera(cameraId)->sdCard.clear(); }

void Emulator::setSdCardPresent(int cameraId, bool present) { impl_->camera(cameraId)->sdCard.setPresent(present); }

void Emulator::setFormatDuration(int cameraId, std::chrono::milliseconds duration) {
  impl_->camera(cameraId)->sdCard.setFormatDuration(duration);
}

size_t Emulator::formatCount(int cameraId) const { return impl_->camera(cameraId)->sdCard.formatCount(); }

void Emulator::setListingOverride(int cameraId, std::optional<std::vector<uint8_t>> payload) {
  impl_->camera(cameraId)->sdCard.setListingOverride(std::move(payload));
}

SdCardState Emulator::sdCardState(int cameraId) const {
  const auto state = impl_->camera(cameraId)->sdCard.state();
  return {state.status, state.capacityMiB, state.freeMiB};
}

std::optional<std::vector<StoredEntry>> Emulator::storedDirectory(int cameraId, const std::string& path) const {
  const auto listing = impl_->camera(cameraId)->sdCard.list(path);
  if (!listing.tree || !listing.found) return std::nullopt;
  std::vector<StoredEntry> out;
  out.reserve(listing.entries.size());
  for (const auto& entry : listing.entries) out.push_back({entry.value, entry.name});
  return out;
}

}  // namespace vktemu

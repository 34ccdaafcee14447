#include "stream_sender.h"

#include <algorithm>
#include <array>

#include "picture_wire.h"
#include "test_pattern.h"

namespace vktemu {
namespace {

// Every change to the settings wakes the sender; its waits are bounded all
// the same.
constexpr std::chrono::seconds kMaxWait{1};

uint32_t tagged(uint32_t tag, uint32_t number) { return tag | (number & 0xFFFFFF); }

}  // namespace

StreamSender::StreamSender(std::shared_ptr<Camera> camera)
    : camera_(std::move(camera)), start_(streamStartOf(camera_->config().model)) {}

bool StreamSender::start(std::string* error) {
  return worker_.start(error, {}, [this](std::stop_token stop) { run(stop); });
}

void StreamSender::stop() {
  worker_.stop([this] {
    std::lock_guard sockets(socketMutex_);
    sockets_.close();
  });
}

bool StreamSender::sending() const { return worker_.running() && destination(camera_->streamState.settings()); }

std::optional<sockaddr_in> StreamSender::destination(const StreamSettings& settings) const {
  if (!streamGoesOut(start_, settings)) return std::nullopt;
  if (settings.target.port == 0) return std::nullopt;
  return targetAddress(settings.target);
}

bool StreamSender::sendRaw(const std::vector<std::vector<uint8_t>>& datagrams) {
  const auto to = targetAddress(camera_->streamState.settings().target);
  if (!to) return false;
  std::lock_guard sockets(socketMutex_);
  // Under the socket lock: a stop closes the sockets after it has cleared
  // the flag, so none is opened again behind it.
  if (!worker_.running() || !sockets_.follow(camera_->address(), nullptr)) return false;
  bool all = true;
  for (const auto& datagram : datagrams) {
    const bool sent = sockets_.send(StreamRoute::kCamera, *to, datagram, -1);
    if (sent) camera_->streamLog.change([](StreamHistory& log) { ++log.datagrams; });
    all = all && sent;
  }
  return all;
}

void StreamSender::run(std::stop_token stop) {
  StreamState& state = camera_->streamState;
  bool on = false;
  double rate = 0;
  Clock::duration period{};
  Clock::time_point next{};
  while (!stop.stop_requested()) {
    const StreamSettings settings = state.settings();
    const auto to = destination(settings);
    const auto now = Clock::now();
    if (!to) {
      on = false;
      state.waitForChange(settings.version, now + kMaxWait, stop);
      continue;
    }
    if (!on || settings.framesPerSecond != rate) {
      // Switched on: the first frame goes at once. A new rate counts from
      // the last frame.
      const auto last = next - period;
      rate = settings.framesPerSecond;
      period = periodOf(rate);
      next = on ? last + period : now;
      on = true;
    }
    if (now < next) {
      state.waitForChange(settings.version, std::min(next, now + kMaxWait), stop);
      continue;
    }
    sendFrame(settings, *to, stop);
    next = nextDue(next, period);
  }
}

void StreamSender::sendFrame(const StreamSettings& settings, const sockaddr_in& to, std::stop_token stop) {
  if (faultsVersion_ != settings.faultsVersion) {
    faultsVersion_ = settings.faultsVersion;
    random_.reseed(settings.faults.seed);
  }
  auto taken = takeFrame(settings, stop);
  if (!taken) return;
  const auto frame = std::make_shared<const std::vector<uint8_t>>(std::move(*taken));
  const auto datagrams = planFrame(*frame, settings.faults, random_);

  std::lock_guard sockets(socketMutex_);
  if (!sockets_.follow(camera_->address(), nullptr)) return;
  keep(camera_->streamLog, frame);
  std::array<uint8_t, wire::kStreamDatagramSize> packet{};
  size_t sent = 0;
  bool whole = true;
  for (const auto& datagram : datagrams) {
    if (stop.stop_requested()) break;
    std::span<const uint8_t> bytes = datagram.junk;
    if (bytes.empty()) {
      wire::writeStreamPacket(*frame, datagram.packet, packet);
      bytes = packet;
    }
    if (sockets_.send(datagram.route, to, bytes, worker_.wakeFd())) ++sent;
    // Junk from the other host may have no socket to leave from; the frame
    // is whole without it.
    else if (datagram.route != StreamRoute::kForeign) whole = false;
  }
  // A frame cut short by a stop or a failed send is kept but not counted.
  const bool counted = whole && !stop.stop_requested();
  camera_->streamLog.change([&](StreamHistory& log) {
    log.datagrams += sent;
    if (counted) ++log.frames;
  });
}

std::optional<std::vector<uint8_t>> StreamSender::takeFrame(const StreamSettings& settings, std::stop_token stop) {
  const uint32_t number = ++frameNumber_;
  const auto [seconds, microseconds] = camera_->clock.now();
  std::string error;
  const auto jpeg = testPatternJpeg(settings.format, camera_->id, number, stop, &error);
  // Padding a large frame is the one step a stop cannot cut short.
  if (!jpeg || stop.stop_requested()) return std::nullopt;

  // A tag, the size, the number, the camera's clock (its word is 32 bits:
  // past 2038 it wraps, as the camera's does), then three more tags.
  const wire::StreamRecord record{tagged(0x10000000, number),     0, number, static_cast<uint32_t>(seconds),
                                  static_cast<uint32_t>(microseconds), tagged(0x20000000, number),
                                  tagged(0x24000000, number),     tagged(0x28000000, number)};
  return wire::assembleFrame(wire::jpegBody(*jpeg), record, settings.faults.totalLength, settings.padTo);
}

}  // namespace vktemu

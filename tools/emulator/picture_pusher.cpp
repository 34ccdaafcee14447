#include "picture_pusher.h"

#include <algorithm>

#include "picture_sender.h"
#include "picture_wire.h"
#include "test_pattern.h"

namespace vktemu {
namespace {

// Enough for a test of many stuck connections; a cap still, so a long run
// of held pushes cannot eat the descriptors.
constexpr size_t kMaxHeld = 1024;
constexpr std::array<uint32_t, 5> kTailTags = {0x24000000, 0x28000000, 0x32000000, 0x36000000, 0x40000000};

}  // namespace

bool PicturePusher::start(std::string* error) {
  const bool pushing = worker_.start(
      error,
      [this](std::string*) {
        camera_->pictureQueue.open();
        return true;
      },
      [this](std::stop_token stop) {
        while (const auto request = camera_->pictureQueue.next(stop)) push(*request, stop);
      });
  return pushing && triggers_.start(error, {}, [this](std::stop_token stop) { trigger(stop); });
}

void PicturePusher::stop() {
  triggers_.stop();
  worker_.stop([this] {
    camera_->pictureQueue.close();
    held_.clear();
    camera_->pictureLog.change([](PushHistory& log) { log.held = 0; });
  });
}

void PicturePusher::push(const PictureRequest& request, std::stop_token stop) {
  const PushFaults faults = camera_->pushFaults.get();
  PushedPicture log;
  std::string error;
  const auto picture = takePicture(request, faults, stop, &error);
  const auto to = picture ? target(&error) : std::nullopt;
  if (picture && to) {
    SendPlan plan;
    plan.to = *to;
    plan.from = camera_->address();
    plan.chunkBytes = faults.chunkBytes;
    plan.chunkDelay = clampedDelay(std::chrono::milliseconds(faults.chunkDelayMs));
    plan.sendBufferBytes = std::clamp(faults.sendBufferBytes, 0, kMaxSendBufferBytes);
    size_t size = std::min(picture->size(), faults.sendBytes.value_or(picture->size()));
    size = std::min(size, faults.stuckAfter.value_or(size));
    SendOutcome outcome = sendPicture(plan, std::span(*picture).first(size), worker_.wakeFd());
    log.bytes.assign(picture->begin(), picture->begin() + static_cast<std::ptrdiff_t>(outcome.sent));
    log.completed = outcome.done;
    error = outcome.error;
    if (outcome.done && (faults.holdOpen || faults.stuckAfter)) {
      if (held_.size() >= kMaxHeld) held_.erase(held_.begin());
      held_.push_back(std::move(outcome.connection));
    } else {
      closeGently(outcome.connection);
    }
  }
  log.at = std::chrono::steady_clock::now();
  log.error = std::move(error);
  record(camera_->pictureLog, std::move(log));
  // After the record: whoever sees the connection counted finds its push logged.
  camera_->pictureLog.change([&](PushHistory& history) { history.held = held_.size(); });
}

std::optional<std::vector<uint8_t>> PicturePusher::takePicture(const PictureRequest& request,
                                                               const PushFaults& faults, std::stop_token stop,
                                                               std::string* error) {
  const uint32_t number = ++pictureNumber_;
  const auto [seconds, microseconds] = camera_->clock.now();
  const auto jpeg = testPatternJpeg(camera_->pictureFormat.get(), camera_->id, number, stop, error);
  if (!jpeg) return std::nullopt;

  // The source, the size, the number, the request's value, the camera's
  // clock (its word is 32 bits: past 2038 it wraps, as the camera's does),
  // then the tags.
  wire::PictureRecord record{static_cast<uint32_t>(request.source), 0, number, static_cast<uint32_t>(request.value),
                             static_cast<uint32_t>(seconds), static_cast<uint32_t>(microseconds)};
  for (size_t i = 0; i < kTailTags.size(); ++i) record[6 + i] = kTailTags[i] | (number & 0xFFFFFF);

  wire::PictureShape shape;
  shape.badMarker = faults.badMarker;
  if (faults.app1Length) shape.app1Length = *faults.app1Length;
  shape.totalLength = faults.totalLength;
  shape.padTo = std::min(faults.padTo, kMaxPadBytes);
  auto picture = wire::assemblePicture(wire::jpegBody(*jpeg), record, shape);
  // The camera records what it takes, whether or not anyone receives it.
  camera_->sdCard.storeTaken(seconds, number, picture);
  return picture;
}

void PicturePusher::setTriggerRate(double perSecond) {
  triggerRate_.change([&](Rate& rate) {
    rate.perSecond = clampedRate(perSecond, kMaxPerSecond);
    ++rate.changes;
  });
}

void PicturePusher::trigger(std::stop_token stop) {
  while (!stop.stop_requested()) {
    // A new schedule: the first trigger one period from now.
    const Rate rate = triggerRate_.get();
    auto changed = [seen = rate.changes](const Rate& now) { return now.changes != seen; };
    if (rate.perSecond <= 0) {
      triggerRate_.wait(stop, changed);
      continue;
    }
    const auto period = periodOf(rate.perSecond);
    auto next = Clock::now() + period;
    while (!triggerRate_.waitUntil(stop, next, changed) && !stop.stop_requested()) {
      if (Clock::now() < next) continue;
      camera_->pictureQueue.post({PictureSource::kTrigger, static_cast<int32_t>(++triggerNumber_)});
      next = nextDue(next, period);
    }
  }
}

// The registered address, or the peer that registered when it announced
// 0.0.0.0.
std::optional<sockaddr_in> PicturePusher::target(std::string* error) const {
  const PushTarget registered = camera_->pushTarget.get();
  auto to = targetAddress(registered);
  if (!to && error) *error = registered.set ? "no address to push to" : "no push target registered";
  return to;
}

}  // namespace vktemu

#include "camera_logs.h"

namespace vktemu {
namespace {

constexpr size_t kMaxRequests = 100000;
constexpr size_t kMaxDatagrams = 100000;
constexpr size_t kMaxPictures = 64;
constexpr size_t kMaxFrames = 16;
constexpr size_t kMaxKeptBytes = size_t{256} << 20;  // in each log

}  // namespace

void record(Shared<CommandTraffic>& log, CommandRecord request) {
  log.change([&](CommandTraffic& s) {
    const size_t size = request.bytes.size();
    if (s.kept.size() < kMaxRequests && s.keptBytes + size <= kMaxKeptBytes) {
      s.keptBytes += size;
      s.kept.push_back(std::move(request));
    }
    ++s.count;
  });
}

void record(Shared<DiscoveryTraffic>& log, ReceivedDatagram datagram, bool isProbe) {
  log.change([&](DiscoveryTraffic& s) {
    if (s.kept.size() < kMaxDatagrams) s.kept.push_back(std::move(datagram));
    ++s.datagrams;
    if (isProbe) ++s.probes;
  });
}

void record(Shared<PushHistory>& log, PushedPicture picture) {
  log.change([&](PushHistory& s) {
    if (picture.completed) ++s.completed;
    s.keptBytes += picture.bytes.size();
    s.kept.push_back(std::move(picture));
    if (s.kept.size() > kMaxPictures) {
      s.keptBytes -= s.kept.front().bytes.size();
      s.kept.erase(s.kept.begin());
    }
    for (auto& old : s.kept) {
      if (s.keptBytes <= kMaxKeptBytes) break;
      s.keptBytes -= old.bytes.size();
      old.bytes = {};
    }
  });
}

void keep(Shared<StreamHistory>& log, std::shared_ptr<const std::vector<uint8_t>> frame) {
  log.change([&](StreamHistory& s) {
    s.keptBytes += frame->size();
    s.kept.push_back(std::move(frame));
    while (s.kept.size() > kMaxFrames || (s.kept.size() > 1 && s.keptBytes > kMaxKeptBytes)) {
      s.keptBytes -= s.kept.front()->size();
      s.kept.pop_front();
    }
  });
}

bool PictureQueue::post(const PictureRequest& request) {
  return state_.change([&](State& s) {
    if (!s.open || s.waiting.size() >= kMaxWaiting) return false;
    s.waiting.push_back(request);
    return true;
  });
}

std::optional<PictureRequest> PictureQueue::next(std::stop_token stop) {
  if (!state_.wait(stop, [](const State& s) { return !s.open || !s.waiting.empty(); }) || stop.stop_requested())
    return std::nullopt;
  return state_.change([](State& s) -> std::optional<PictureRequest> {
    if (!s.open || s.waiting.empty()) return std::nullopt;
    const PictureRequest request = s.waiting.front();
    s.waiting.pop_front();
    return request;
  });
}

}  // namespace vktemu

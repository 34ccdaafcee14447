#include "camera_logs.h"

namespace vktemu {

void CommandLog::record(CommandRecord record) {
  state_.change([&](State& s) {
    const size_t size = record.bytes.size();
    if (s.kept.size() < kMaxKept && s.keptBytes + size <= kMaxKeptBytes) {
      s.keptBytes += size;
      s.kept.push_back(std::move(record));
    }
    ++s.count;
  });
}

void TrafficLog::record(ReceivedDatagram datagram, bool isProbe) {
  state_.change([&](State& s) {
    if (s.kept.size() < kMaxKept) s.kept.push_back(std::move(datagram));
    ++s.datagrams;
    if (isProbe) ++s.probes;
  });
}

void PictureLog::record(PushedPicture picture) {
  state_.change([&](State& s) {
    if (picture.completed) ++s.completed;
    s.keptBytes += picture.bytes.size();
    s.kept.push_back(std::move(picture));
    if (s.kept.size() > kMaxKept) {
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

void StreamLog::keepFrame(std::shared_ptr<const std::vector<uint8_t>> frame) {
  state_.change([&](State& s) {
    s.keptBytes += frame->size();
    s.kept.push_back(std::move(frame));
    while (s.kept.size() > kMaxKept || (s.kept.size() > 1 && s.keptBytes > kMaxKeptBytes)) {
      s.keptBytes -= s.kept.front()->size();
      s.kept.pop_front();
    }
  });
}

std::vector<std::vector<uint8_t>> StreamLog::recentFrames() const {
  return state_.read([](const State& s) {
    std::vector<std::vector<uint8_t>> out;
    out.reserve(s.kept.size());
    for (const auto& frame : s.kept) out.push_back(*frame);
    return out;
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

#include "stream_receiver.h"

namespace vktcli {

std::string StreamFrameFileName(std::string_view ip, std::uint64_t number) {
  return std::string(ip) + "-stream-" + std::to_string(number) + ".jpg";
}

StreamReceiver::StreamReceiver(StreamReceiverOptions options, StopRequest& stop)
    : options_(std::move(options)), stop_(stop), counters_(options_.frameLimit), queue_(options_.queueLimits) {
  if (options_.directory) writer_ = std::thread([this] { WriteAll(); });
}

StreamReceiver::~StreamReceiver() { Finish(); }

void StreamReceiver::OnFrame(std::span<const char> frame, const StreamInfo& info) {
  if (!taking_.load()) return;
  const std::uint64_t number = counters_.Received(frame.size(), info.recordWord8);
  if (number == 0) return;  // past the limit: the stop is already under way
  if (options_.frameLimit && number == *options_.frameLimit) stop_.Request();
  if (!options_.directory) return;
  const auto result = queue_.TryPush(QueuedFrame{std::vector<char>(frame.begin(), frame.end()), number});
  if (result == decltype(queue_)::PushResult::Full) counters_.Dropped();
}

void StreamReceiver::StopTaking() { taking_.store(false); }

void StreamReceiver::Finish() {
  StopTaking();
  queue_.Close();
  if (writer_.joinable()) writer_.join();
}

void StreamReceiver::WriteAll() {
  WriteQueued(queue_, counters_, [this](const QueuedFrame& frame) {
    return (*options_.directory / StreamFrameFileName(options_.ip, frame.number)).string();
  });
}

}  // namespace vktcli

#include "live_streams.h"

#include "VKTNetSDK11.h"

namespace vktconsole {

struct LiveStreams::Entry {
  std::mutex mutex;  // held while the stream starts or stops
  int viewers = 0;
  std::unique_ptr<LiveStream> stream;
  std::unique_ptr<vktcli::StreamRoute> route;
};

namespace {

constexpr auto kRateWindow = std::chrono::seconds(2);
constexpr std::size_t kMaxRecent = 1024;

}  // namespace

void LiveStream::OnFrame(std::span<const char> frame, const StreamInfo& info) {
  auto jpeg = std::make_shared<const std::vector<char>>(frame.begin(), frame.end());
  const auto now = std::chrono::steady_clock::now();
  counters_.Received(frame.size(), info.recordWord8, now);
  {
    std::lock_guard lock(mutex_);
    latest_ = LiveFrame{latest_.number + 1, std::move(jpeg)};
    recent_.push_back(now);
    while (recent_.size() > kMaxRecent || (!recent_.empty() && now - recent_.front() > kRateWindow)) {
      recent_.pop_front();
    }
  }
  arrived_.notify_all();
}

std::optional<LiveFrame> LiveStream::WaitNewer(std::uint64_t after, std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  arrived_.wait_for(lock, wait, [&] { return woken_ || latest_.number > after; });
  if (woken_ || latest_.number <= after) return std::nullopt;
  return latest_;
}

std::optional<LiveFrame> LiveStream::Latest() const {
  std::lock_guard lock(mutex_);
  if (latest_.number == 0) return std::nullopt;
  return latest_;
}

void LiveStream::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  arrived_.notify_all();
}

LiveStats LiveStream::Stats() const {
  const vktcli::StreamTotals totals = counters_.Totals();
  LiveStats stats;
  stats.watching = true;
  stats.frames = totals.frames;
  stats.missed = totals.missed;
  stats.averageBytes = totals.frames > 0 ? totals.bytes / totals.frames : 0;
  std::lock_guard lock(mutex_);
  stats.lastBytes = latest_.jpeg ? latest_.jpeg->size() : 0;
  // Over the frames of the last two seconds, from the first to the last of
  // them: a stream that began a moment ago is not shown at half its rate,
  // and one that stopped falls to 0 once its frames leave the window.
  const auto now = std::chrono::steady_clock::now();
  std::size_t inWindow = 0;
  std::chrono::steady_clock::time_point first{};
  for (const auto& at : recent_) {
    if (now - at > kRateWindow) continue;
    if (inWindow++ == 0) first = at;
  }
  const double span = inWindow >= 2 ? std::chrono::duration<double>(recent_.back() - first).count() : 0;
  stats.framesPerSecond = span > 0 ? static_cast<double>(inWindow - 1) / span : 0;
  return stats;
}

LiveStreams::LiveStreams(std::size_t maxViewers, unsigned callTimeoutMs)
    : maxViewers_(maxViewers), callTimeoutMs_(callTimeoutMs) {}

LiveStreams::~LiveStreams() { Shutdown(); }

LiveStreams::Viewer::Viewer(LiveStreams& owner, int handle, std::shared_ptr<Entry> entry)
    : owner_(owner), handle_(handle), entry_(std::move(entry)) {}

LiveStreams::Viewer::~Viewer() { owner_.Leave(handle_, *entry_); }

LiveStream& LiveStreams::Viewer::stream() { return *entry_->stream; }

LiveStreams::Join LiveStreams::Watch(int handle) {
  Join join;
  std::shared_ptr<Entry> entry;
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || viewers_ >= maxViewers_) {
      join.full = true;
      return join;
    }
    ++viewers_;
    auto& slot = entries_[handle];
    if (!slot) slot = std::make_shared<Entry>();
    entry = slot;
  }
  std::lock_guard entryLock(entry->mutex);
  if (entry->viewers == 0) {
    entry->stream = std::make_unique<LiveStream>();
    entry->route = std::make_unique<vktcli::StreamRoute>(*entry->stream);
    if (VKT_StartStream(handle, vktcli::RouteStreamFrame, entry->route->user(), callTimeoutMs_) != 0) {
      join.error = VKT_GetLastError();
      // A start that failed after taking a receiver keeps it until a stop.
      VKT_StartStream(handle, nullptr, 0, callTimeoutMs_);
      entry->route.reset();
      entry->stream.reset();
      std::lock_guard lock(mutex_);
      --viewers_;
      return join;
    }
  }
  ++entry->viewers;
  join.viewer = std::make_unique<Viewer>(*this, handle, entry);
  return join;
}

void LiveStreams::Leave(int handle, Entry& entry) {
  {
    std::lock_guard entryLock(entry.mutex);
    if (--entry.viewers == 0) {
      VKT_StartStream(handle, nullptr, 0, callTimeoutMs_);
      // The route waits for a callback still inside the stream.
      entry.route.reset();
      entry.stream.reset();
    }
  }
  std::lock_guard lock(mutex_);
  --viewers_;
}

LiveStats LiveStreams::Stats(int handle) const {
  std::shared_ptr<Entry> entry;
  {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(handle);
    if (found == entries_.end()) return {};
    entry = found->second;
  }
  // Not under the entry's lock: a slow start or stop must not hold up the
  // statistics. The stream exists exactly while viewers do.
  std::unique_lock entryLock(entry->mutex, std::try_to_lock);
  if (!entryLock.owns_lock() || !entry->stream) return {};
  LiveStats stats = entry->stream->Stats();
  stats.viewers = entry->viewers;
  return stats;
}

bool LiveStreams::Stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void LiveStreams::Shutdown() {
  std::vector<std::shared_ptr<Entry>> entries;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const auto& [handle, entry] : entries_) entries.push_back(entry);
  }
  for (const auto& entry : entries) {
    std::lock_guard entryLock(entry->mutex);
    if (entry->stream) entry->stream->Wake();
  }
}

}  // namespace vktconsole

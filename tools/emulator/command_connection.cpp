#include "command_connection.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "command_wire.h"

namespace vktemu {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
// Work per wake-up, so one busy client cannot starve the camera's other
// clients or delay a stop.
constexpr int kMaxReadsPerWake = 4;
constexpr int kMaxRequestsPerWake = 64;
// A client that sends without reading the replies is not read from until
// it catches up.
constexpr size_t kMaxQueuedBytes = size_t{8} << 20;
constexpr size_t kCompactOutputAt = size_t{1} << 20;

// Enough to back an announcement past any reply a client takes (SD card
// pictures of many MiB), so a client's own bound is what stops it.
constexpr uint32_t kMaxFillerPayload = 32u << 20;
constexpr uint8_t kFillerByte = 0xAB;

struct PlannedReply {
  std::chrono::milliseconds delay{0};  // after the request arrived
  std::vector<uint8_t> bytes;
  bool closeAfter = false;  // close the connection once these bytes are sent
  bool reportsDone = false;  // the completion of the work, with a status that is not a failure
};

// The bytes that go back for a handler's reply, with the camera's faults for
// that command applied: when each part is due, what its header says, and
// whether the connection closes after it. In the order they are due; empty
// when the camera does not answer.
std::vector<PlannedReply> planReplies(const Camera& camera, const Request& request, const Reply& reply) {
  const CommandFaults faults = camera.effectiveCommandFaults(request.command).value_or(CommandFaults{});
  if (faults.noReply) return {};

  wire::CommandHeader header;
  header.version = camera.replyVersion.get();
  header.command = wire::wrappingAdd(request.command, faults.commandDelta);
  header.sequence = wire::wrappingAdd(request.sequence, faults.sequenceDelta);
  header.status = faults.status.value_or(reply.status);
  header.value = reply.value;

  PlannedReply first;
  first.delay = clampedDelay(std::chrono::milliseconds(faults.delayMs));
  if (faults.announcedLength) {
    // A header that lies about its length: the client must not trust it.
    header.length = *faults.announcedLength;
    const std::vector<uint8_t> filler(std::min(*faults.announcedLength, kMaxFillerPayload), kFillerByte);
    first.bytes = wire::encodeCommand(header, filler);
  } else {
    header.length = static_cast<uint32_t>(reply.payload.size());
    first.bytes = wire::encodeCommand(header, reply.payload);
  }
  if (faults.closeAfterBytes >= 0) {
    first.bytes.resize(std::min(first.bytes.size(), static_cast<size_t>(faults.closeAfterBytes)));
    first.closeAfter = true;
    return {std::move(first)};
  }
  if (reply.closeAfter) {
    first.closeAfter = true;
    return {std::move(first)};
  }

  std::vector<PlannedReply> out;
  out.push_back(std::move(first));
  // A camera that refused the work does not report it done.
  if (reply.completion && !faults.noCompletion && header.status >= 0) {
    wire::CommandHeader done;
    done.version = header.version;
    done.command = faults.completionCommand.value_or(header.command);
    done.sequence = header.sequence;
    done.status = faults.completionStatus.value_or(reply.completion->status);
    done.value = reply.completion->value;
    PlannedReply completion;
    // The command's own fault set decides the delay; a set for every
    // command (0) does not, so it cannot undo the camera's save delay.
    const auto ownFaults = camera.commandFaults(request.command);
    const auto completionDelay =
        ownFaults ? std::chrono::milliseconds(ownFaults->completionDelayMs)
                  : reply.completion->delay.value_or(std::chrono::milliseconds(CommandFaults{}.completionDelayMs));
    completion.delay = out.front().delay + clampedDelay(completionDelay);
    completion.bytes = wire::encodeCommand(done);
    completion.reportsDone = done.status >= 0;
    out.push_back(std::move(completion));
  }
  return out;
}

}  // namespace

CommandConnection::CommandConnection(UniqueFd fd, int serial, std::string peerAddress)
    : fd_(std::move(fd)), serial_(serial), peerAddress_(std::move(peerAddress)) {}

// A reply cut short must reach the client whole before the end of stream.
CommandConnection::~CommandConnection() {
  if (closing_ && output_.empty()) closeGently(fd_);
}

short CommandConnection::pollEvents() const {
  short events = 0;
  if (!closing_ && !ending_ && !backlogged()) events |= POLLIN;
  if (unsentBytes() > 0) events |= POLLOUT;
  return events;
}

bool CommandConnection::backlogged() const { return scheduledBytes_ + unsentBytes() > kMaxQueuedBytes; }

bool CommandConnection::receive(Camera& camera, const CommandTable& commands) {
  // Only a hang-up or an error wakes an ending connection: find out whether
  // the peer is gone, leaving anything it sent unread.
  if (ending_) {
    uint8_t byte = 0;
    const ssize_t n = ::recv(fd_.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
  }
  int budget = kMaxRequestsPerWake;
  if (!answerWholeRequests(camera, commands, Clock::now(), budget)) return false;
  for (int i = 0; i < kMaxReadsPerWake && budget > 0 && !closing_ && !ending_ && !backlogged(); ++i) {
    const size_t held = input_.size();
    input_.resize(held + kReadChunk);
    const ssize_t n = ::recv(fd_.get(), input_.data() + held, kReadChunk, MSG_DONTWAIT);
    input_.resize(held + static_cast<size_t>(n > 0 ? n : 0));
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (!answerWholeRequests(camera, commands, Clock::now(), budget)) return false;
  }
  return true;
}

bool CommandConnection::hasWaitingRequest() const {
  if (closing_ || ending_ || backlogged() || input_.size() < wire::kCommandHeaderSize) return false;
  const auto header = wire::decodeCommandHeader(input_);
  // An oversized announcement counts too: receive() closes the connection.
  return header.length > wire::kMaxRequestPayload || input_.size() - wire::kCommandHeaderSize >= header.length;
}

bool CommandConnection::answerWholeRequests(Camera& camera, const CommandTable& commands, Clock::time_point now,
                                            int& budget) {
  size_t at = 0;
  bool healthy = true;
  while (budget > 0 && !closing_ && !ending_ && !backlogged() && input_.size() - at >= wire::kCommandHeaderSize) {
    const auto header = wire::decodeCommandHeader(std::span(input_).subspan(at));
    if (header.length > wire::kMaxRequestPayload) {
      healthy = false;
      break;
    }
    const size_t total = wire::kCommandHeaderSize + header.length;
    if (input_.size() - at < total) break;
    const auto begin = input_.begin() + static_cast<std::ptrdiff_t>(at);
    const auto end = begin + static_cast<std::ptrdiff_t>(total);

    const Request request{.at = now,
                          .connection = serial_,
                          .peerAddress = peerAddress_,
                          .version = header.version,
                          .command = header.command,
                          .sequence = header.sequence,
                          .status = header.status,
                          .value = header.value,
                          .payload = {begin + wire::kCommandHeaderSize, end}};
    const Reply reply = commands.answer(camera, request);
    // Recorded once handled, so a test woken by the record sees its effects.
    record(camera.commandLog, {request.at, request.connection, request.version, request.command, request.sequence,
                                request.status, request.value, header.length, {begin, end}});

    auto planned = planReplies(camera, request, reply);
    if (planned.empty() && reply.onSent) reply.onSent();
    for (size_t i = 0; i < planned.size(); ++i) {
      if (planned[i].reportsDone && reply.completion && reply.completion->onDone)
        reply.completion->onDone(now + planned[i].delay);
      ending_ = ending_ || planned[i].closeAfter;
      scheduledBytes_ += planned[i].bytes.size();
      scheduled_.emplace(now + planned[i].delay, Outgoing{std::move(planned[i].bytes), planned[i].closeAfter,
                                                          i == 0 ? reply.onSent : nullptr});
    }
    at += total;
    --budget;
  }
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(at));
  return healthy;
}

bool CommandConnection::send(Clock::time_point now) {
  while (!closing_ && !scheduled_.empty() && scheduled_.begin()->first <= now) {
    auto next = scheduled_.extract(scheduled_.begin());
    scheduledBytes_ -= next.mapped().bytes.size();
    output_.insert(output_.end(), next.mapped().bytes.begin(), next.mapped().bytes.end());
    if (next.mapped().onSent) sentHooks_.push_back({output_.size(), std::move(next.mapped().onSent)});
    if (next.mapped().closeAfter) {
      closing_ = true;
      scheduled_.clear();
      scheduledBytes_ = 0;
    }
  }
  while (outputSent_ < output_.size()) {
    const ssize_t n =
        ::send(fd_.get(), output_.data() + outputSent_, output_.size() - outputSent_, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) return false;
    outputSent_ += static_cast<size_t>(n);
  }
  while (!sentHooks_.empty() && sentHooks_.front().end <= outputSent_) {
    const auto hook = std::move(sentHooks_.front().hook);
    sentHooks_.pop_front();
    hook();
  }
  if (outputSent_ == output_.size()) {
    output_.clear();
    outputSent_ = 0;
  } else if (outputSent_ >= kCompactOutputAt) {
    output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(outputSent_));
    for (auto& pending : sentHooks_) pending.end -= outputSent_;
    outputSent_ = 0;
  }
  return !(closing_ && output_.empty());
}

std::optional<Clock::time_point> CommandConnection::nextDue() const {
  if (closing_ || scheduled_.empty()) return std::nullopt;
  return scheduled_.begin()->first;
}

}  // namespace vktemu

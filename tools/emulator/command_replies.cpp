#include "command_replies.h"

#include <algorithm>

#include "command_wire.h"

namespace vktemu {
namespace {

constexpr int kMaxDelayMs = 3600000;
// Enough to back an announcement past any reply a client takes (SD card
// pictures of many MiB), so a client's own bound is what stops it.
constexpr uint32_t kMaxFillerPayload = 32u << 20;
constexpr uint8_t kFillerByte = 0xAB;

std::chrono::milliseconds clampedDelay(int ms) { return std::chrono::milliseconds(std::clamp(ms, 0, kMaxDelayMs)); }

}  // namespace

std::vector<PlannedReply> planReplies(const Camera& camera, const Request& request, const Reply& reply) {
  const CommandFaults faults = camera.effectiveCommandFaults(request.command).value_or(CommandFaults{});
  if (faults.noReply) return {};

  wire::CommandHeader header;
  header.version = camera.replyVersion();
  header.command = wire::wrappingAdd(request.command, faults.commandDelta);
  header.sequence = wire::wrappingAdd(request.sequence, faults.sequenceDelta);
  header.status = faults.status.value_or(reply.status);
  header.value = reply.value;

  PlannedReply first;
  first.delay = clampedDelay(faults.delayMs);
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
    const int completionDelayMs =
        ownFaults ? ownFaults->completionDelayMs
                  : static_cast<int>(std::clamp<int64_t>(
                        reply.completion->delay.value_or(std::chrono::milliseconds(CommandFaults{}.completionDelayMs))
                            .count(),
                        0, kMaxDelayMs));
    completion.delay = out.front().delay + clampedDelay(completionDelayMs);
    completion.bytes = wire::encodeCommand(done);
    completion.reportsDone = done.status >= 0;
    out.push_back(std::move(completion));
  }
  return out;
}

}  // namespace vktemu

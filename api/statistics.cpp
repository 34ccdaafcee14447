#include "api/statistics.h"

#include "api/call_frame.h"
#include "api/last_error.h"

namespace vkt {
namespace {

uint64_t Read(const Counter& c) { return c.load(std::memory_order_relaxed); }

}  // namespace

CameraStatistics CameraCounters::Snapshot() const {
  CameraStatistics s{};
  s.commandsSent = Read(commandsSent);
  s.commandTimeouts = Read(commandTimeouts);
  s.commandNetworkErrors = Read(commandNetworkErrors);
  s.commandRefusals = Read(commandRefusals);
  s.commandMismatches = Read(commandMismatches);
  s.commandsFailed = s.commandTimeouts + s.commandNetworkErrors + s.commandRefusals + s.commandMismatches;
  s.reconnects = Read(reconnects);
  s.picturesDelivered = Read(picturesDelivered);
  s.pictureBytes = Read(pictureBytes);
  s.pictureConnections = Read(pictureConnections);
  s.picturesDroppedBadMarker = Read(pictureDrops[static_cast<int>(PictureDrop::kBadMarker)]);
  s.picturesDroppedShortApp1 = Read(pictureDrops[static_cast<int>(PictureDrop::kShortApp1)]);
  s.picturesDroppedOversize = Read(pictureDrops[static_cast<int>(PictureDrop::kOversize)]);
  s.picturesDroppedTimeWindow = Read(pictureDrops[static_cast<int>(PictureDrop::kTimeWindow)]);
  s.picturesDroppedClosedEarly = Read(pictureDrops[static_cast<int>(PictureDrop::kClosedEarly)]);
  s.picturesDroppedCameraDeleted = Read(pictureDrops[static_cast<int>(PictureDrop::kCameraDeleted)]);
  s.picturesDroppedNoCallback = Read(pictureDrops[static_cast<int>(PictureDrop::kNoCallback)]);
  s.framesDelivered = Read(framesDelivered);
  s.streamBytes = Read(streamBytes);
  s.framesDroppedGap = Read(framesDroppedGap);
  s.framesDroppedPastLast = Read(framesDroppedPastLast);
  s.framesDroppedOversize = Read(framesDroppedOversize);
  s.datagramsIgnoredSize = Read(datagramsIgnoredSize);
  s.datagramsIgnoredSender = Read(datagramsIgnoredSender);
  s.picturesDroppedOverShare = Read(pictureDrops[static_cast<int>(PictureDrop::kOverShare)]);
  s.picturesDroppedBufferCap = Read(pictureDrops[static_cast<int>(PictureDrop::kBufferCap)]);
  s.pictureConnectionsOpen = Read(pictureConnectionsOpen);
  return s;
}

LibraryStatistics LibraryCounterSet::Snapshot() const {
  LibraryStatistics s{};
  s.unknownSenderConnections = Read(unknownSenderConnections);
  s.discoveryDatagramsSkipped = Read(discoveryDatagramsSkipped);
  s.pictureConnectionsOpen = Read(pictureConnectionsOpen);
  s.pictureConnectionsPeak = Read(pictureConnectionsPeak);
  s.pictureBytesBuffered = Read(pictureBytesBuffered);
  s.pictureBytesBufferedPeak = Read(pictureBytesBufferedPeak);
  return s;
}

LibraryCounterSet& LibraryCounters() {
  static LibraryCounterSet* counters = new LibraryCounterSet();
  return *counters;
}

}  // namespace vkt

extern "C" VKT_API int VKT_GetCameraStatistics(int camera, CameraStatistics* stats, unsigned int timeoutMs) {
  return vkt::RunCameraCall(camera, timeoutMs, [&](vkt::CameraContext& c, uint32_t) {
    if (!vkt::FillVersioned(c.Counters().Snapshot(), stats)) {
      vkt::SetLastError(vkt::err::kInvalidParam);
      return 1;
    }
    return 0;
  });
}

extern "C" VKT_API int VKT_GetLibraryStatistics(LibraryStatistics* stats) {
  if (!vkt::FillVersioned(vkt::LibraryCounters().Snapshot(), stats)) {
    vkt::SetLastError(vkt::err::kInvalidParam);
    return 1;
  }
  return 0;
}

#include "picture/picture_connection.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "camera/camera_context.h"

namespace vkt {
namespace {

enum class Io { kData, kWouldBlock, kEnded };

// What a non-blocking read said: data, nothing yet, or the end (the camera
// closed, or the connection broke).
Io Classify(ssize_t n) {
  if (n > 0) return Io::kData;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Io::kWouldBlock;
  return Io::kEnded;
}

// One non-blocking read into `parts`, an interrupted call retried.
ssize_t ReadSome(ACE_HANDLE handle, iovec* parts, int count) {
  ssize_t n;
  do {
    n = ::readv(handle, parts, count);
  } while (n < 0 && errno == EINTR);
  return n;
}

// Whether more bytes wait on the socket right now.
bool MoreWaiting(ACE_HANDLE handle) {
  uint8_t probe;
  ssize_t n;
  do {
    n = ::recv(handle, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

}  // namespace

PictureConnection::PictureConnection(ACE_HANDLE handle, std::shared_ptr<CameraContext> camera,
                                     Clock::time_point deadline, PictureBuffers& buffers)
    : handle_(handle), camera_(std::move(camera)), deadline_(deadline), buffers_(buffers) {}

PictureConnection::~PictureConnection() {
  buffers_.Give(held_);
  buffers_.Freed(held_);
  // The last reference: the camera sees the end at once.
  ::close(handle_);
}

PictureConnection::Step PictureConnection::Drop(PictureDrop reason) {
  dropReason_ = reason;
  return Step::kDrop;
}

size_t PictureConnection::Room(size_t want) { return buffers_.Take(want); }

PictureConnection::Step PictureConnection::NoData(bool wouldBlock, size_t room) {
  buffers_.Give(room);
  if (wouldBlock) return Step::kNeedMore;
  return Drop(PictureDrop::kClosedEarly);
}

void PictureConnection::Keep(const uint8_t* from, size_t n, size_t at) {
  if (body_) {
    std::memcpy(body_.Data() + at, from, n);
  } else {
    head_.insert(head_.end(), from, from + n);
  }
  held_ += n;
  buffers_.Stored(n);
}

PictureConnection::Step PictureConnection::Read(uint8_t* scratch, size_t scratchSize) {
  for (;;) {
    if (Clock::now() >= deadline_) return Drop(PictureDrop::kTimeWindow);
    if (overrun_) return Discard(scratch, scratchSize);

    if (body_) {
      // The length is known: read straight into place, asking for one byte
      // more than the picture lacks so that bytes past its end show.
      const size_t lacking = framing_.TotalLength() - received_;
      const size_t room = Room(lacking);
      if (room == 0) return Step::kNoRoom;
      uint8_t probe;
      iovec parts[2] = {{body_.Data() + received_, room}, {&probe, 1}};
      const ssize_t n = ReadSome(handle_, parts, room == lacking ? 2 : 1);
      if (const Io io = Classify(n); io != Io::kData) return NoData(io == Io::kWouldBlock, room);
      const size_t got = static_cast<size_t>(n);
      if (got > room) {
        // More than announced arrived together with its end.
        held_ += room;
        buffers_.Stored(room);
        received_ += got;
        overrun_ = true;
        continue;
      }
      buffers_.Give(room - got);
      held_ += got;
      buffers_.Stored(got);
      received_ += got;
      if (received_ == framing_.TotalLength()) {
        picture_ = body_.Data();
        return Step::kComplete;
      }
      continue;
    }

    // The length is not known yet: read into the thread's scratch.
    const size_t room = Room(scratchSize);
    if (room == 0) return Step::kNoRoom;
    iovec part{scratch, room};
    const ssize_t n = ReadSome(handle_, &part, 1);
    if (const Io io = Classify(n); io != Io::kData) return NoData(io == Io::kWouldBlock, room);
    const size_t got = static_cast<size_t>(n);
    buffers_.Give(room - got);  // the cap holds `got` for this read now
    // The first read is judged where it landed; later ones join the head.
    const uint8_t* bytes = scratch;
    const bool kept = received_ > 0;
    if (kept) {
      Keep(scratch, got, received_);
      bytes = head_.data();
    }
    received_ += got;
    const Step step = Judge(bytes);
    if (step == Step::kComplete && got == room && MoreWaiting(handle_)) {
      // The socket held more than the read asked for: bytes past the end
      // came with it, and such a picture never completes.
      overrun_ = true;
    }
    if (step == Step::kNeedMore && !overrun_ && !kept) {
      Keep(scratch, got, 0);  // the first bytes, into the body if its length came with them
      continue;
    }
    if (!kept) buffers_.Give(got);
    if (overrun_) continue;
    if (step == Step::kComplete) picture_ = bytes;
    return step;
  }
}

PictureConnection::Step PictureConnection::Judge(const uint8_t* bytes) {
  switch (framing_.Judge(bytes, received_)) {
    case picture::PictureFraming::State::kBad:
      return Drop(framing_.BadReason());
    case picture::PictureFraming::State::kComplete:
      return Step::kComplete;
    case picture::PictureFraming::State::kNeedMore:
      break;
  }
  if (!framing_.LengthKnown()) return Step::kNeedMore;
  if (received_ > framing_.TotalLength()) {
    // Never complete: the picture ends by its window or by the camera.
    overrun_ = true;
    return Step::kNeedMore;
  }
  // The length is known: the bytes move to a block of exactly that size.
  body_ = buffers_.Allocate(framing_.TotalLength());
  if (!body_) return Drop(PictureDrop::kBufferCap);
  if (bytes != head_.data() || head_.empty()) return Step::kNeedMore;  // the caller moves them from its scratch
  std::memcpy(body_.Data(), head_.data(), head_.size());
  std::vector<uint8_t>().swap(head_);
  return Step::kNeedMore;
}

PictureConnection::Step PictureConnection::Discard(uint8_t* scratch, size_t scratchSize) {
  if (held_ != 0) {
    body_.Release();
    std::vector<uint8_t>().swap(head_);
    buffers_.Give(held_);
    buffers_.Freed(held_);
    held_ = 0;
  }
  for (;;) {
    if (Clock::now() >= deadline_) return Drop(PictureDrop::kTimeWindow);
    if (received_ >= picture::kMaxPicture) return Drop(PictureDrop::kOversize);
    iovec part{scratch, scratchSize};
    const ssize_t n = ReadSome(handle_, &part, 1);
    if (const Io io = Classify(n); io != Io::kData) return NoData(io == Io::kWouldBlock, 0);
    received_ += static_cast<size_t>(n);
  }
}

}  // namespace vkt

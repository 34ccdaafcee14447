// Listing, fetching and deleting the pictures stored on a camera's SD card.
// Listings and pictures can be far larger than a command reply, so their
// payloads go to buffers of their own, each bounded before anything is read.
#include <cstring>
#include <memory>
#include <new>

#include "api/last_error.h"
#include "camera/camera_context.h"
#include "storage/directory_tree_parser.h"
#include "storage/storage_commands.h"

namespace vkt {

int CameraContext::StartLargeReply(size_t limit, const Stopwatch& start, uint32_t ms) {
  SetLastError(err::kOk);
  // Any failure drops the connection, so no unread reply bytes can be taken
  // for the next reply.
  if (SendRequest(start, ms) != 0 || ReceiveReplyHeader(start, ms) != 0) {
    Disconnect();
    return 1;
  }
  if (replyHeader_.length > limit) {
    Disconnect();  // not read at all
    return SetMismatch();
  }
  return 0;
}

int CameraContext::GetDirectoryTree(DirectoryTree* tree, uint32_t ms) {
  if (tree == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  // Whatever happens now, the entries of the last listing are given up.
  entryArray_.reset();
  if (CheckPendingSave(ms) != 0) return 1;
  BuildRequest(command::kDirectoryTree);
  requestHeader_.length = kTreeRequestBytes;
  uint8_t* request = RequestPayload();
  std::memcpy(request, tree->path, sizeof tree->path);
  std::memcpy(request + sizeof tree->path, &tree->count, sizeof tree->count);
  std::memset(request + sizeof tree->path + sizeof tree->count, 0, 4);

  Stopwatch start;
  if (StartLargeReply(kMaxListingBytes, start, ms) != 0) return 1;
  const size_t length = replyHeader_.length;
  std::unique_ptr<uint8_t[]> payload(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
  if (!payload) {
    Disconnect();
    return SetMismatch();
  }
  if (ReceivePayload(payload.get(), length, start, ms) != 0) {
    Disconnect();
    return 1;
  }
  DirectoryListing listing = ParseDirectoryListing(payload.get(), length);
  switch (listing.outcome) {
    case DirectoryListing::Outcome::kNoTree:
      return 0;  // the caller's record stays as it was
    case DirectoryListing::Outcome::kMalformed:
      Disconnect();
      return SetMismatch();
    case DirectoryListing::Outcome::kTree:
      break;
  }
  std::memcpy(tree->path, listing.path.data(), listing.pathLength + 1);
  tree->count = listing.count;
  entryArray_ = std::move(listing.entries);
  tree->entries = entryArray_.get();
  return 0;
}

int CameraContext::GetJPGPic(const void* name, char** picture, int* length, uint32_t ms) {
  if (picture != nullptr) *picture = nullptr;
  if (length != nullptr) *length = 0;
  if (name == nullptr || picture == nullptr || length == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(commandLock_);
  if (CheckPendingSave(ms) != 0) return 1;
  BuildRequest(command::kGetJPGPic);
  requestHeader_.length = kFetchNameBytes;
  std::memcpy(RequestPayload(), name, kFetchNameBytes);
  uint8_t* buffer = largeReply_.Acquire();
  if (buffer == nullptr) return Fail(err::kReplyMismatch);

  Stopwatch start;
  if (StartLargeReply(LargeReplyBuffer::kCapacity, start, ms) != 0) return 1;
  const size_t bytes = replyHeader_.length;
  largeReply_.MayHaveWritten(bytes);
  if (ReceivePayload(buffer, bytes, start, ms) != 0) {
    Disconnect();
    return 1;
  }
  largeReply_.Keep(bytes);
  *picture = reinterpret_cast<char*>(buffer);
  *length = static_cast<int>(bytes);
  return 0;
}

int CameraContext::DeleteJPGPic(const void* name, uint32_t ms) {
  if (name == nullptr) return Fail(err::kInvalidParam);
  return Exchange(Request{command::kDeleteJPGPic, 0, name, kDeleteNameBytes}, ms);
}

}  // namespace vkt

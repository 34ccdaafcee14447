// Command channel message format: every message, request or reply, is a
// 28-byte header of seven little-endian 32-bit words and `length` payload
// bytes. The payloads of the SD card commands are packed (no alignment):
//
//   1200 state    three little-endian words: card status, capacity MiB,
//                 free MiB
//   1210 listing  request: path[256], a count word, 4 bytes (both ignored);
//                 reply: a word (1: a tree follows, 0: nothing follows),
//                 the path as asked, zero-terminated, a count word, then
//                 per entry a value word (-1: a directory, otherwise the
//                 picture's size) and its zero-terminated name
//   1216 fetch    request: a value word (ignored), name[256]; reply: the
//                 picture's bytes
//   1217 delete   request: path[256], 8 bytes (ignored)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vktemu::wire {

inline constexpr size_t kCommandHeaderSize = 28;
inline constexpr int32_t kProtocolVersion = 257;

// A peer announcing more than this is not talking our protocol.
inline constexpr uint32_t kMaxRequestPayload = 1u << 20;

namespace command {
inline constexpr int32_t kSaveConfiguration = 100;  // two replies: at once, then when saved
inline constexpr int32_t kSyncNtp = 101;            // two replies: at once, then when synchronised
inline constexpr int32_t kSnapshot = 102;
inline constexpr int32_t kResetMode0 = 103;  // the camera restores its factory settings and restarts
inline constexpr int32_t kResetMode1 = 104;
inline constexpr int32_t kTemperature = 200;
inline constexpr int32_t kStreamMode = 501;  // value 5 starts the stream, 1 stops it
inline constexpr int32_t kDeviceInfo = 1000;
inline constexpr int32_t kNetwork = 1016;
inline constexpr int32_t kSetNetwork = 1017;  // a new address moves the camera
inline constexpr int32_t kFlashAndTrigger = 1028;
inline constexpr int32_t kGetClock = 1070;
inline constexpr int32_t kSetClock = 1071;
inline constexpr int32_t kState = 1300;
inline constexpr int32_t kPushTarget = 1080;
inline constexpr int32_t kStreamTarget = 1081;
inline constexpr int32_t kSdState = 1200;
inline constexpr int32_t kSdFormat = 1205;          // answered at once; the format then takes its time
inline constexpr int32_t kSdFormatProgress = 1206;  // progress in the header's value field
inline constexpr int32_t kSdList = 1210;
inline constexpr int32_t kSdFetch = 1216;
inline constexpr int32_t kSdDelete = 1217;
}  // namespace command

inline constexpr int32_t kStreamModeStart = 5;
inline constexpr int32_t kStreamModeStop = 1;

inline constexpr int32_t kStatusSaved = 11;  // completion of a configuration save
inline constexpr int32_t kStatusRefused = -1;
inline constexpr int32_t kStatusBusy = -2;  // the SD card is formatting
inline constexpr int32_t kStatusBadParameter = -3;

// Clock payloads: the get reply is seconds since 1970, microseconds, eight
// zero bytes and the extra word; the set request is seconds, microseconds
// and the extra word. All little-endian.
inline constexpr size_t kClockReplySize = 20;
inline constexpr size_t kClockSetSize = 12;

struct CommandHeader {
  int32_t version = 0;
  int32_t reserved = 0;
  int32_t command = 0;
  int32_t sequence = 0;
  int32_t status = 0;
  uint32_t length = 0;
  int32_t value = 0;
};

// `bytes` must hold at least kCommandHeaderSize bytes.
CommandHeader decodeCommandHeader(std::span<const uint8_t> bytes);
std::vector<uint8_t> encodeCommand(const CommandHeader& header, std::span<const uint8_t> payload = {});

// Payload of commands 1080 and 1081: IPv4 address and port in network
// order, then a little-endian 16-bit flag.
inline constexpr size_t kTargetPayloadSize = 8;
struct TargetPayload {
  uint32_t address = 0;  // network order, as in in_addr::s_addr
  uint16_t port = 0;     // host order
  uint16_t flag = 0;
};
std::optional<TargetPayload> parseTargetPayload(std::span<const uint8_t> payload);

inline constexpr size_t kSdTextSize = 256;  // a request's path or name field
inline constexpr size_t kSdStateSize = 12;
inline constexpr size_t kSdListRequestSize = 264;
inline constexpr size_t kSdFetchRequestSize = 260;
inline constexpr size_t kSdDeleteRequestSize = 264;
inline constexpr int32_t kSdDirectoryValue = -1;

struct SdEntry {
  int32_t value = 0;  // kSdDirectoryValue or a picture's size in bytes
  std::string name;
};

// The text field of a request payload of exactly `size` bytes that starts
// at `at`: its bytes up to the first zero. Nothing when the payload has
// another size or the field holds no zero.
std::optional<std::string> sdRequestText(std::span<const uint8_t> payload, size_t size, size_t at);

std::vector<uint8_t> encodeSdState(int32_t status, int32_t capacityMiB, int32_t freeMiB);

// A listing reply with a tree.
std::vector<uint8_t> encodeSdListing(std::string_view path, const std::vector<SdEntry>& entries);
// A listing reply without one: the leading word 0 alone.
std::vector<uint8_t> encodeSdNoTree();

// a + b with two's complement wrap-around, for header fields shifted by faults.
inline int32_t wrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace vktemu::wire

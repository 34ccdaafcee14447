// In-process camera emulator: plays one or more cameras on this host so the
// client library can be exercised end to end without hardware.
//
// Each camera has its own 127.0.0.X address, MAC, model and command port.
// The emulator answers discovery probes and change-IP requests on the shared
// UDP discovery port, and each camera serves its TCP command channel on its
// own address and command port, pushes pictures to the target the last
// command 1080 named, streams video to the one 1081 named and keeps an SD
// card of stored pictures.
//
// The emulator never links the client library: it keeps its own copy of the
// wire formats (wire.h), so a bug in one cannot hide a bug in the other.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vktemu {

using Mac = std::array<uint8_t, 6>;

struct CameraConfig {
  std::string address = "127.0.0.10";  // camera's own IPv4 address (dotted)
  Mac mac{0x00, 0x1c, 0x27, 0x00, 0x00, 0x10};
  std::string model = "VKT-N2F0Kq";
  uint16_t commandPort = 30000;
  uint32_t addressWord1 = 0;  // raw bytes as they go on the wire (netmask, network order)
  uint32_t addressWord2 = 0;  // raw (gateway, network order)
  std::string infoText1 = "fw 1.0.0";
  std::string infoText2 = "emulated camera";
  std::array<int32_t, 6> infoWords{};
  std::array<uint8_t, 64> infoBlock{};
  int32_t tailWord1 = 0, tailWord2 = 0;
};

// The bounds of faults and settings; values outside them are clamped when
// used.
inline constexpr int kMaxDelayMs = 3600000;  // every delay: an hour
inline constexpr int kMaxAnswerCopies = 1000;
inline constexpr size_t kMaxPadBytes = size_t{64} << 20;  // pictures and stream frames
inline constexpr int kMaxSendBufferBytes = 64 << 20;
inline constexpr double kMaxPerSecond = 1000;  // trigger and frame rates

inline std::chrono::milliseconds clampedDelay(std::chrono::milliseconds delay) {
  return std::clamp(delay, std::chrono::milliseconds(0), std::chrono::milliseconds(kMaxDelayMs));
}

// Misbehaviours a test can switch on per camera. Out-of-range values are
// clamped when used (copies 0..1000, delays 0..3600000 ms, answer length
// 0..65507 bytes).
struct DiscoveryFaults {
  bool silent = false;          // never answers probes
  int answerDelayMs = 0;        // answers this long after the probe, without blocking anything else
  int answerCopies = 1;         // sends each answer this many times (0: none)
  int answerLengthDelta = 0;    // -1 sends 395 bytes, +1 sends 397 (zero padded / cut)
  bool badKeyword = false;      // first 16 bytes read "IPNC_AnswerInfo?"
  bool ignoreChangeIp = false;  // takes no address, sends no echo
  bool corruptEcho = false;     // echoes with one filler byte changed and takes no address
  int echoDelayMs = 0;          // echo this long after the request
};

struct ReceivedDatagram {
  std::chrono::steady_clock::time_point at{};
  std::string sourceAddress;
  uint16_t sourcePort = 0;
  std::vector<uint8_t> bytes;
};

// Misbehaviours of the command channel, per camera and command. Delays are
// clamped to 0..3600000 ms when used.
struct CommandFaults {
  int delayMs = 0;                // reply this long after the request (other replies are not held up)
  bool noReply = false;           // read the request, never answer; the connection stays open
  int sequenceDelta = 0;          // reply sequence = request sequence + delta
  int commandDelta = 0;           // reply command = request command + delta
  std::optional<int32_t> status;  // reply status instead of the normal one
  int closeAfterBytes = -1;       // send only this many bytes of the reply (0: none), then close
  // The header's length field says this; the payload sent is
  // min(announced, 32 MiB) bytes of 0xAB, whatever the real reply.
  std::optional<uint32_t> announcedLength;
  // Two-step commands (100 save configuration, 101 NTP synchronisation):
  // completion this long after the first reply. Only a set given for
  // exactly this command sets it; otherwise a save waits the camera's save
  // delay (setSaveDelay) and an NTP synchronisation its NTP delay
  // (setNtpDelay).
  int completionDelayMs = 50;
  bool noCompletion = false;                 // never send the completion
  std::optional<int32_t> completionStatus;   // instead of 11 (100) or 0 (101)
  std::optional<int32_t> completionCommand;  // command field of the completion
};

// One request as it arrived on a camera's command channel.
struct CommandRecord {
  std::chrono::steady_clock::time_point at{};
  int connection = 0;  // per-camera serial number of the TCP connection, from 1
  int32_t version = 0, command = 0, sequence = 0, status = 0, value = 0;
  uint32_t length = 0;
  std::vector<uint8_t> bytes;  // the whole request as received: header + payload
};

// Where a camera was told to push pictures (command 1080) or to stream
// (command 1081).
struct PushTarget {
  uint32_t address = 0;  // as on the wire: network order, as in in_addr::s_addr
  uint16_t port = 0;     // host order
  uint16_t flag = 0;
  bool set = false;      // false until a registration arrived
  std::string peerAddress;  // dotted peer of the connection that registered it (used when address is 0.0.0.0)
};

// Misbehaviours of the picture push, per camera. Out-of-range values are
// clamped when used (delays 0..3600000 ms, padTo at most 64 MiB).
struct PushFaults {
  size_t chunkBytes = 0;    // send in pieces of this size (0: all at once)
  int chunkDelayMs = 0;     // pause between pieces (a slow sender)
  bool badMarker = false;   // bytes 20-21 are FF E2 instead of FF E1
  // The APP1 length as sent (default 54). A longer segment really is longer
  // (zero filler after the record); a shorter one is a lie (below 46 too
  // short for the record): the whole record still goes out after it.
  std::optional<uint16_t> app1Length;
  std::optional<uint32_t> totalLength;  // the record's totalLength, whatever was sent
  std::optional<size_t> sendBytes;      // send only this many bytes, then close (a truncated picture)
  size_t padTo = 0;      // the picture has at least this many bytes (COM segments before the tables)
  bool holdOpen = false;  // after sending keep the connection open until stop() (no close)
  // A stuck connection: send only this many bytes (at most sendBytes), then
  // keep the connection open and silent until stop(). The push counts as
  // pushed (completed) once those bytes are out, and its connection as held.
  std::optional<size_t> stuckAfter;
  // SO_SNDBUF of each picture connection, set before it connects, as a
  // small embedded sender has (0: the system's default, which grows). The
  // kernel doubles the value and keeps it within its bounds (at least about
  // 4.5 KiB, at most net.core.wmem_max); clamped to 0..64 MiB.
  int sendBufferBytes = 0;
};

// One push, as it went out.
struct PushedPicture {
  std::vector<uint8_t> bytes;  // exactly the bytes sent (the picture's, or the first sendBytes / stuckAfter)
  std::chrono::steady_clock::time_point at{};  // when the push ended (last byte sent, or failed)
  // Every byte the faults let out was sent. False with a reason in `error`
  // when there was no target, the connection failed or the emulator stopped.
  bool completed = false;
  std::string error;
};

// Misbehaviours of the video stream, per camera.
struct StreamFaults {
  // Drop this fraction (0..1) of the frames' datagrams, and send this
  // fraction twice. The choices come from a generator seeded with `seed`
  // each time the faults are set, so a run repeats exactly.
  double lossRate = 0;
  double duplicateRate = 0;
  uint64_t seed = 1;
  bool reorder = false;  // swap neighbouring middle packets of each frame: 1 and 2, 3 and 4, ...
  // Junk around every frame: a datagram of 1024 bytes with index 0 and a
  // wrong totalLength from 127.0.0.250, and datagrams of 1023 and 1025
  // bytes from 127.0.0.250 and from the camera's own socket. The frame's
  // odd-numbered packets then go out from a second socket on the camera's
  // address (another source port): those are the camera's and belong to
  // the frame.
  bool foreignDatagrams = false;
  std::optional<uint32_t> totalLength;  // the record announces this, whatever the frame's size
};

// An SD card's state words, as command 1200 reports them.
struct SdCardState {
  int32_t status = 0;  // 0 no card, 1 ready, 2 formatting
  int32_t capacityMiB = 0;
  int32_t freeMiB = 0;
};

// One entry of an SD card directory listing.
struct StoredEntry {
  int32_t value = 0;  // -1: a directory; otherwise a picture's size in bytes
  std::string name;
};

// The exact discovery answer the camera sends (without faults applied).
// An address that is not dotted IPv4 goes out as 0.0.0.0.
std::array<uint8_t, 396> buildDiscoveryAnswer(const CameraConfig&);

class Emulator {
 public:
  Emulator();
  ~Emulator();  // stops
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  using CommandRecord = vktemu::CommandRecord;
  using PushTarget = vktemu::PushTarget;

  // Returns the new camera's id (0, 1, 2...), or -1 when config.address is
  // not a dotted IPv4 address. Allowed before or after start(); after
  // start() its command port is opened at once (if that fails the camera
  // stays unreachable, as after setCommandListening(id, false)).
  int addCamera(const CameraConfig&);

  // Binds UDP 0.0.0.0:34565 (SO_REUSEADDR), starts the receive thread and
  // opens every camera's command port (TCP address:commandPort).
  // False with a message naming the port when one cannot be opened (then
  // nothing stays open), or when it already runs. May be called again after
  // stop().
  bool start(std::string* error = nullptr);

  // Joins everything and closes every connection; idempotent; returns
  // within a few milliseconds. Replies still waiting for their delay are
  // dropped.
  void stop();
  bool running() const;

  // Current state (after a change-IP or a network Set: the new address and
  // words).
  // Throws std::out_of_range for an unknown id.
  CameraConfig camera(int id) const;
  size_t cameraCount() const;

  // Throws std::out_of_range for an unknown id.
  void setDiscoveryFaults(int id, const DiscoveryFaults&);
  DiscoveryFaults discoveryFaults(int id) const;

  // Every datagram received on the discovery port, in order (the first
  // 100000 since the last clearTraffic(); the counts below go on past that).
  std::vector<ReceivedDatagram> discoveryTraffic() const;
  void clearTraffic();
  size_t probeCount() const;     // probes received since the last clearTraffic()
  size_t datagramCount() const;  // datagrams received since the last clearTraffic()
  bool waitForProbes(size_t n, std::chrono::milliseconds timeout) const;
  bool waitForDatagrams(size_t n, std::chrono::milliseconds timeout) const;

  // Sends bytes as they are, unicast, from the discovery socket (scripted
  // malformed traffic in tests). False when not running or the send fails.
  bool sendRaw(const std::string& toAddress, uint16_t port, const std::vector<uint8_t>& bytes);

  // --- Command channel. Every member below throws std::out_of_range for an
  // unknown camera id.

  // Faults for one command (0: every command without a set of its own).
  // They stay until cleared.
  void setCommandFaults(int cameraId, int command, const CommandFaults&);
  void clearCommandFaults(int cameraId);
  // The set given for exactly this command, if any.
  std::optional<CommandFaults> commandFaults(int cameraId, int command) const;

  // Protocol version the camera puts in its replies (default 257).
  void setReplyVersion(int cameraId, int32_t version);

  // The settings store: a request for `command` is answered with this value
  // and payload (default 0, none) unless the command has a behaviour of its
  // own. On the modelled settings (below) a value or payload stored here
  // replaces the model's in the reply, until the camera is recreated.
  void setReplyValue(int cameraId, int command, int32_t value);
  void setReplyPayload(int cameraId, int command, std::vector<uint8_t> payload);
  // A request for setCommand then stores what it carries as getCommand's
  // reply: its payload if it has one, otherwise its value.
  void setSettingPair(int cameraId, int getCommand, int setCommand);

  // --- The settings model. Each camera keeps factory and current values of
  // its settings: a Get (command N) answers the current value (in the
  // header's value field) or record (as the payload), a Set (N+1) stores
  // one and a GetDefault (N+2, where there is one) answers the factory one.
  // A Set carrying anything but exactly what the setting holds (a payload
  // on a value, a record of another size) is refused with status -3 and
  // changes nothing. Commands 103 and 104 restore the factory settings,
  // answer, and close the connection; 100 saves (two replies).
  //
  // A network Set (1017) with a new address moves the camera as a change-IP
  // does: the reply goes out on the old connection, which then closes; the
  // command port is open at the new address (same port) by the time the
  // reply is sent, the camera's other connections are dropped and discovery
  // answers carry the new address. New address words alone are only stored.
  //
  // A setting is named by its Get command, or by its Set command when it
  // has none (picture pixel size, 1270). Members taking one throw
  // std::invalid_argument when it names no setting of that form (value /
  // record) or a record has the wrong size.

  // The camera's temperature (command 200), degrees; 36.5 from the factory.
  // Sent as a sign bit (15) and magnitude in eighths of a degree (bits
  // 5..14); setCurrentValue(id, 200, raw) puts any raw word on the wire.
  void setTemperature(int cameraId, double degrees);
  // Between the two replies of a save (default 50 ms).
  void setSaveDelay(int cameraId, std::chrono::milliseconds delay);
  size_t saveCount(int cameraId) const;   // save requests answered
  size_t resetCount(int cameraId) const;  // reset requests answered
  std::vector<uint8_t> currentRecord(int cameraId, int getCommand) const;
  std::vector<uint8_t> factoryRecord(int cameraId, int getCommand) const;
  // The camera changed "by other means" (its web page, a technician).
  void setCurrentRecord(int cameraId, int getCommand, std::vector<uint8_t> bytes);
  int32_t currentValue(int cameraId, int getCommand) const;
  void setCurrentValue(int cameraId, int getCommand, int32_t value);
  int32_t factoryValue(int cameraId, int getCommand) const;
  // Get and GetDefault replies of a record setting carry only this many
  // payload bytes (a short record); nullopt: the whole record.
  void setShortReply(int cameraId, int getCommand, std::optional<uint32_t> bytes);

  // The camera keeps only the short forms of the records that have one
  // (ITS 1008: 32 of 52 bytes, night control 1012: 44 of 48): Get and
  // GetDefault reply that many bytes, and Sets take the short or the long
  // form (a short one leaves the rest of the record zero). Off (the
  // default): only the long forms.
  void setShortRecords(int cameraId, bool on);

  // --- The camera's clock: the host's time plus an offset, so it runs on.
  // Command 1070 reads it (20 bytes: seconds since 1970, microseconds, 8
  // zero bytes, the extra word of the last 1071), 1071 sets it (12 bytes:
  // seconds, microseconds, extra word; another size gets -3). An NTP
  // synchronisation (101) answers at once, then again after the camera's
  // NTP delay (or the completion faults set for 101); when that completion
  // is due the clock takes the host's time. No completion (refused, or
  // noCompletion, or a failing completionStatus): no synchronisation.
  void setClock(int cameraId, int64_t secondsSince1970, int32_t microseconds);
  std::pair<int64_t, int32_t> clock(int cameraId) const;  // seconds since 1970, microseconds
  int32_t clockExtra(int cameraId) const;                 // 0 until a 1071 sets it
  // The 1070 reply payload, exactly; nullopt: the clock's reading.
  void setClockReply(int cameraId, std::optional<std::array<uint8_t, 20>> payload);
  void setNtpDelay(int cameraId, std::chrono::milliseconds delay);  // default 50 ms
  size_t ntpCount(int cameraId) const;  // NTP synchronisation requests answered

  // Requests received, in arrival order (the first 100000 since the last
  // clearCommandTraffic(); the count goes on past that).
  std::vector<CommandRecord> commandTraffic(int cameraId) const;
  size_t commandCount(int cameraId) const;
  void clearCommandTraffic(int cameraId);
  bool waitForCommands(int cameraId, size_t n, std::chrono::milliseconds timeout) const;

  size_t connectionCount(int cameraId) const;      // TCP connections accepted so far
  size_t openConnectionCount(int cameraId) const;  // currently open

  PushTarget pushTarget(int cameraId) const;    // last command 1080
  PushTarget streamTarget(int cameraId) const;  // last command 1081

  // --- Pictures. After a registration (1080) the camera pushes each picture
  // over a TCP connection of its own, from its own address, to the
  // announced address and port (0.0.0.0: the peer that registered): a JPEG
  // file with the picture record in an APP1 segment (picture_wire.h), then
  // it closes. A snapshot request (102) is answered first, then pushed with
  // the request's value in the record's word 12; a trigger carries its
  // value there. Pushes of one camera go out one at a time, in order, on a
  // thread of the camera; pictures asked for while the emulator is stopped,
  // or past 256 waiting, are dropped. Record words: 0 the source (1
  // snapshot, 2 trigger), 8 the camera's picture number (from 1), 16/20
  // the camera's clock, 24..40 0x24000000, 0x28000000, 0x32000000,
  // 0x36000000, 0x40000000 each or'ed with the picture number's low 24 bits.

  // A picture as a snapshot request with this value would push it (not
  // counted by snapshotCount).
  void snapshot(int cameraId, int32_t value);
  void trigger(int cameraId, int32_t value);
  // Triggers at this rate (at most 1000 per second; 0 or less stops), each
  // carrying its number (1, 2, ... per camera) as its value. Kept across
  // stop()/start().
  void startTriggers(int cameraId, double perSecond);
  void stopTriggers(int cameraId);
  void setPushFaults(int cameraId, const PushFaults&);
  PushFaults pushFaults(int cameraId) const;
  // 640x480 at quality 85 from the factory; clamped to 8..4096 pixels and
  // quality 1..100.
  void setPictureSize(int cameraId, int width, int height, int quality);
  size_t picturesPushed(int cameraId) const;  // pushes completed (every byte sent)
  bool waitForPictures(int cameraId, size_t n, std::chrono::milliseconds timeout) const;
  // Picture connections held open now (holdOpen, stuckAfter): at most 1024
  // per camera, past that the oldest is closed; stop() closes them all. A
  // push is in pushedPictures() and counted by picturesPushed() before its
  // connection counts here.
  size_t heldConnections(int cameraId) const;
  bool waitForHeldConnections(int cameraId, size_t n, std::chrono::milliseconds timeout) const;
  // The last 64 pushes, oldest first, completed or not.
  std::vector<PushedPicture> pushedPictures(int cameraId) const;
  size_t snapshotCount(int cameraId) const;  // snapshot requests (102) answered

  // --- Video stream. After a registration (1081) the camera sends frames
  // to the announced address and port (0.0.0.0: the peer that registered)
  // over UDP from its own address, each frame as 1024-byte datagrams
  // (picture_wire.h): a JPEG picture of the test pattern whose bytes 32..63
  // hold the stream record. Models VKT-N2F0Kp, VKT-N2F0Kw and VKT-N9G6Kp
  // send as soon as a target is registered; VKT-N2F0Kq, VKT-N9G6Kq,
  // VKT-R6E0Kq, VKT-R6E0Kp and VKT-R8E0Kq once command 501 says 5 (start),
  // until 501 says 1 (stop); other models refuse 501 (-1) and never send.
  // A new registration redirects the stream. Frames go out on a thread of
  // the camera, paced by a schedule, each frame's datagrams back to back;
  // nothing is sent while the emulator is stopped. Record words: 0
  // 0x10000000, 8 the frame number (from 1 per camera), 12/16 the camera's
  // clock, 20 0x20000000, 24 0x24000000, 28 0x28000000, each or'ed with
  // the frame number's low 24 bits. Settings are kept across
  // stop()/start().

  // Frames per second (default 10, at most 1000); 0 or less pauses.
  void setStreamRate(int cameraId, double framesPerSecond);
  // 320x240 at quality 85 by default; clamped to 8..4096 pixels and
  // quality 1..100.
  void setStreamFrameSize(int cameraId, int width, int height, int quality);
  // Frames have at least this many bytes (COM segments; at most 64 MiB).
  void setStreamFramePad(int cameraId, size_t bytes);
  void setStreamFaults(int cameraId, const StreamFaults&);
  StreamFaults streamFaults(int cameraId) const;
  // true / false: send / do not send whatever 501 said (a target is still
  // needed); nullopt: as the model does.
  void forceStream(int cameraId, std::optional<bool> on);
  size_t framesSent(int cameraId) const;     // frames whose every datagram went out (loss faults aside)
  size_t datagramsSent(int cameraId) const;  // every stream datagram sent: duplicates and junk too
  // Running, with a target, a rate and the model's (or the forced) go-ahead.
  bool streaming(int cameraId) const;
  bool waitForFrames(int cameraId, size_t n, std::chrono::milliseconds timeout) const;
  // The last 16 frames, oldest first, as they were cut into packets. A
  // frame is here before its first datagram leaves (so also a frame a stop
  // cut short).
  std::vector<std::vector<uint8_t>> sentFrames(int cameraId) const;
  // Sends these datagrams as they are to the registered stream target from
  // the camera's stream socket, whether or not the camera streams. False
  // when stopped, without a target, or a send failed.
  bool sendStreamPackets(int cameraId, const std::vector<std::vector<uint8_t>>& datagrams);

  // --- SD card. Each camera has a card of 32768 MiB holding pictures in
  // directories: "/DIRECTORY/NAME", e.g. "/20261209/103015_001.jpg". It
  // starts with a seed set, the same on every run: directories 20261208
  // and 20261209 with three JPEG pictures each, of various sizes, drawn
  // with the camera's id. Every picture the camera takes (snapshots,
  // triggers; pushed or not, the whole picture as assembled) is stored too,
  // as /YYYYMMDD/HHMMSS_NNN.jpg after the camera's clock in the local time
  // zone with NNN its picture number, unless there is no card or it is
  // formatting. Past 10000 pictures or 64 MiB the oldest go (the newest
  // always stays). Commands:
  //   1200 state: 12 bytes, three words: card status (0 no card, 1 ready,
  //        2 formatting), capacity MiB and free MiB (capacity less the
  //        stored bytes, rounded down); without a card all three are 0.
  //   1205 format: 0 at once (the pictures are gone from then on), then the
  //        card formats for the format duration; -2 while one runs, -1
  //        without a card.
  //   1206 format progress, in the header's value: 0..99 rising linearly
  //        with the time a format has run, 100 when none runs (also
  //        before the first one).
  //   1210 listing (command_wire.h): "" or "/" lists the directories (value
  //        -1), "/DIR" (a trailing '/' and no leading one accepted) its
  //        pictures (value: size in bytes), sorted by name; the path is
  //        echoed as asked. Without a card or while formatting: the leading
  //        word 0 alone. Unknown directory: -3.
  //   1216 fetch, 1217 delete by full path (leading '/' optional): -3 for
  //        an unknown picture or without a card, -2 while formatting.
  //        Deleting a directory's last picture removes the directory.
  // A request with a payload of another size than the command's gets -3.
  // Replies have whatever length they need. A fault forcing a failing
  // status on a format or delete leaves the card unchanged.

  // Stores `bytes` at "/DIRECTORY/NAME" (the directory is created),
  // replacing a picture of that name, whatever the card's state. Throws
  // std::invalid_argument when the path is not of that form or does not
  // fit the 256-byte name field.
  void addStoredPicture(int cameraId, const std::string& path, std::vector<uint8_t> bytes);
  std::vector<std::string> storedPictures(int cameraId) const;  // full paths, sorted
  std::optional<std::vector<uint8_t>> storedPicture(int cameraId, const std::string& path) const;
  // Empties the card (the seed set does not come back).
  void clearStoredPictures(int cameraId);
  // No card: state 0, listings without a tree, fetch and delete -3,
  // format -1. The pictures come back with the card.
  void setSdCardPresent(int cameraId, bool present);
  // How long a format runs (default 3000 ms; clamped to 0..3600000 ms).
  void setFormatDuration(int cameraId, std::chrono::milliseconds duration);
  size_t formatCount(int cameraId) const;  // formats started (1205 answered 0)
  // While set, every well-formed listing request (1210) is answered with
  // status 0 and exactly these payload bytes, whatever the card holds.
  void setListingOverride(int cameraId, std::optional<std::vector<uint8_t>> payload);
  SdCardState sdCardState(int cameraId) const;
  // The entries a listing of `path` carries (the override aside); nullopt
  // for an unknown directory, without a card and while formatting.
  std::optional<std::vector<StoredEntry>> storedDirectory(int cameraId, const std::string& path) const;

  // Closes or reopens the camera's command port (an unreachable camera).
  // Closing also drops its connections. Kept across stop()/start().
  void setCommandListening(int cameraId, bool listening);
  // The camera drops every open connection (as after an idle time-out).
  void closeCommandConnections(int cameraId);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vktemu

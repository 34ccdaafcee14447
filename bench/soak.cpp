// vkt-soak: a bounded soak run of the library against the in-process camera
// emulator that watches the process's resident memory.
//
// Four emulated cameras (127.0.0.10..13) are added with a picture callback
// and kept busy for --seconds: threads read and write settings (values and
// records, each written value read back), ask for the state, the SD card's
// state, list the cards and fetch, check and delete the pictures the
// cameras store, and ask for snapshots; every camera is triggered 20 times a
// second; cameras 0 and 1 stream video; a fifth camera (127.0.0.14) is added
// and deleted over and over; camera 1's stream is stopped and started again
// and camera 2 streams for a few seconds now and then. Every picture, frame
// and fetched picture is checked.
//
// VmRSS is sampled every 10 s and at the end, with the bytes the allocator
// has handed out beside it (growing data against growing free lists). The
// run fails (exit 1) when VmRSS grew by 1 MiB or more from the sample at
// 60 s to the last one (runs under 90 s: from the first sample after a 20 s
// warm-up), when anything arrived corrupt, or when errors go beyond what a
// loaded machine explains.
//
// Run it in a private network namespace:
//   tools/netns-run build/bench/vkt-soak --seconds 180
#include <arpa/inet.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "VKTNetSDK11.h"
#include "camera_record.h"
#include "emulator.h"
#include "error_names.h"
#include "idle_camera_cost.h"
#include "soak_checks.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kCameras = 4;   // emulator ids 0..3: loaded the whole run
constexpr int kVisitor = 4;   // emulator id of the camera added and deleted over and over
constexpr int kAllCameras = 5;
constexpr unsigned kTimeoutMs = 3000;
constexpr double kTriggersPerSecond = 20;
constexpr int kDefaultSeconds = 180;
constexpr int kMinSeconds = 30;
constexpr int kMaxSeconds = 3600;
constexpr int kSampleEverySeconds = 10;
constexpr int kBaselineSeconds = 60;
constexpr int kShortRunSeconds = 90;
constexpr int kShortWarmupSeconds = 20;
constexpr long kGrowthLimitKiB = 1024;
// Pauses that keep the command threads from taking both of a small
// machine's cores away from the receivers.
constexpr milliseconds kSettingsPause{15};
constexpr milliseconds kStatePause{10};
constexpr milliseconds kSnapshotPause{100};
constexpr milliseconds kCardPause{250};
constexpr seconds kVisitorPeriod{5};
// Snapshot values carry a tag in their top byte, so a picture tells who
// asked for it.
constexpr uint32_t kSnapshotTag = 0x51000000u;
constexpr uint32_t kVisitorSnapshotTag = 0x55000000u;
// A fetched seed picture every this many passes over a card.
constexpr uint64_t kSeedFetchEvery = 20;
// Load the run may show without failing: command time-outs and pictures
// dropped for arriving too slowly (a starved machine) up to 1% of their
// kind, frames lost on the loopback up to 5%.
constexpr double kTimeoutShare = 0.01;
constexpr double kSlowPictureShare = 0.01;
constexpr double kLostFrameShare = 0.05;

const char* const kAddresses[kAllCameras] = {"127.0.0.10", "127.0.0.11", "127.0.0.12", "127.0.0.13", "127.0.0.14"};

// ------------------------------------------------------------ stopping

class StopSignal {
 public:
  void Raise() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      raised_ = true;
    }
    changed_.notify_all();
  }
  bool Raised() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return raised_;
  }
  // Waits `d` or until raised; true when raised.
  bool WaitFor(Clock::duration d) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, d, [this] { return raised_; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool raised_ = false;
};

// ------------------------------------------------------------ counters

struct CameraTally {
  std::atomic<long> pictures{0};
  std::atomic<long> triggers{0};
  std::atomic<long> snapshots{0};
};

struct StreamState {
  std::atomic<int> handle{0};
  std::atomic<bool> active{false};
  std::atomic<uint32_t> last{0};  // last frame number since the stream (re)started; 0: none yet
  std::atomic<long> frames{0};
  std::atomic<long> gaps{0};  // frames missing from the numbering
};

struct Tally {
  std::atomic<long> calls{0};     // library calls that succeeded
  std::atomic<long> timeouts{0};  // calls that ran out of time
  std::atomic<long> errors{0};    // every other failure and every check that failed
  std::atomic<long> pictures{0};
  std::atomic<long> corrupt{0};   // pictures, frames and fetched pictures that failed their check
  std::atomic<long> corruptPictures{0};  // of those, pushed pictures
  std::atomic<long> frames{0};
  std::atomic<long> fetched{0};   // pictures fetched from the cards
  std::atomic<long> deleted{0};
  std::atomic<long> visits{0};    // add/delete cycles of the fifth camera
  std::atomic<long> restarts{0};  // stream stop/start cycles
  CameraTally camera[kAllCameras];
  StreamState stream[3];          // streams of cameras 0, 1 and 2 (user value: the camera)
};

Tally g_tally;
std::atomic<int> g_handles[kAllCameras];  // 0: not added
Clock::time_point g_start = Clock::now();

// What went wrong, by kind; the kinds are a fixed set of call names,
// error codes and check names, so this stays small however long the run.
std::mutex g_problemLock;
std::map<std::string, long> g_problems;
std::map<std::string, std::string> g_problemExamples;
constexpr long kProblemLinesShown = 20;
long g_problemLines = 0;

double Elapsed() { return std::chrono::duration<double>(Clock::now() - g_start).count(); }

void Record(const std::string& kind, const std::string& detail) {
  std::lock_guard<std::mutex> lock(g_problemLock);
  if (++g_problems[kind] == 1) g_problemExamples[kind] = detail;
  if (g_problemLines < kProblemLinesShown) {
    ++g_problemLines;
    std::fprintf(stderr, "[%7.1f s] %s: %s\n", Elapsed(), kind.c_str(), detail.c_str());
    if (g_problemLines == kProblemLinesShown) std::fprintf(stderr, "(further problems are only counted)\n");
  }
}

void Problem(const std::string& kind, const std::string& detail) {
  g_tally.errors.fetch_add(1, std::memory_order_relaxed);
  Record(kind, detail);
}

// Counts a library call's result; true when it succeeded.
bool Call(const char* name, int result, int camera) {
  if (result == 0) {
    g_tally.calls.fetch_add(1, std::memory_order_relaxed);
    return true;
  }
  const int code = VKT_GetLastError();
  const std::string kind = std::string(name) + " failed: " + vkttools::DescribeError(code);
  if (code == VKT_ERR_TIMEOUT || code == VKT_ERR_SNAP_NO_REPLY) {
    g_tally.timeouts.fetch_add(1, std::memory_order_relaxed);
    Record(kind, "camera " + std::to_string(camera) + " (counted as load)");
  } else {
    Problem(kind, "camera " + std::to_string(camera));
  }
  return false;
}

int CameraOfHandle(int handle) {
  if (handle == 0) return -1;
  for (int i = 0; i < kAllCameras; ++i) {
    if (g_handles[i].load() == handle) return i;
  }
  return -1;
}

// ------------------------------------------------------------ callbacks

void OnPicture(char* picture, int length, PictureInfo* info, int value) {
  if (info == nullptr || length < 0) {
    g_tally.corrupt.fetch_add(1);
    g_tally.corruptPictures.fetch_add(1);
    Problem("corrupt picture", "no info or a negative length");
    return;
  }
  uint32_t source = 0;
  std::string why =
      vktsoak::CheckPushedPicture(reinterpret_cast<const uint8_t*>(picture), static_cast<size_t>(length), *info,
                                  value, source);
  const int camera = CameraOfHandle(info->camera);
  if (why.empty() && camera < 0) why = "handle " + std::to_string(info->camera) + " is no added camera's";
  if (why.empty() && source == vktsoak::kSourceSnapshot) {
    const uint32_t tag = camera == kVisitor ? kVisitorSnapshotTag : kSnapshotTag;
    if ((static_cast<uint32_t>(value) & 0xFF000000u) != tag) why = "snapshot value " + std::to_string(value);
  }
  if (why.empty() && source == vktsoak::kSourceTrigger && camera == kVisitor) why = "a trigger picture from camera 4";
  if (!why.empty()) {
    g_tally.corrupt.fetch_add(1);
    g_tally.corruptPictures.fetch_add(1);
    Problem("corrupt picture", why);
    return;
  }
  g_tally.pictures.fetch_add(1, std::memory_order_relaxed);
  CameraTally& tally = g_tally.camera[camera];
  tally.pictures.fetch_add(1, std::memory_order_relaxed);
  (source == vktsoak::kSourceSnapshot ? tally.snapshots : tally.triggers).fetch_add(1, std::memory_order_relaxed);
}

// Runs on a stream thread, one frame at a time per stream; `user` is the
// camera's emulator id.
void OnFrame(char* frame, int length, StreamInfo* info, int user) {
  if (user < 0 || user > 2 || info == nullptr || length < 0) {
    g_tally.corrupt.fetch_add(1);
    Problem("corrupt frame", "user value " + std::to_string(user) + ", no info or a negative length");
    return;
  }
  StreamState& stream = g_tally.stream[user];
  if (!stream.active.load()) Problem("frame of a stopped stream", "camera " + std::to_string(user));
  if (info->camera != stream.handle.load()) {
    Problem("frame with a wrong handle", "camera " + std::to_string(user));
    return;
  }
  uint32_t number = 0;
  const std::string why =
      vktsoak::CheckStreamFrame(reinterpret_cast<const uint8_t*>(frame), static_cast<size_t>(length), *info, number);
  if (!why.empty()) {
    g_tally.corrupt.fetch_add(1);
    Problem("corrupt frame", why);
    return;
  }
  const uint32_t last = stream.last.load();
  if (last != 0 && number <= last) {
    Problem("frame out of order", std::to_string(number) + " after " + std::to_string(last));
  } else if (last != 0 && number > last + 1) {
    stream.gaps.fetch_add(number - last - 1, std::memory_order_relaxed);
  }
  stream.last.store(number);
  stream.frames.fetch_add(1, std::memory_order_relaxed);
  g_tally.frames.fetch_add(1, std::memory_order_relaxed);
}

// ------------------------------------------------------------ setup

vktemu::CameraConfig CameraConfigOf(int id) {
  vktemu::CameraConfig config;
  config.address = kAddresses[id];
  config.mac = {0x00, 0x1c, 0x27, 0x50, 0x00, static_cast<uint8_t>(0x10 + id)};
  config.model = "VKT-N2F0Kq";
  config.commandPort = static_cast<uint16_t>(31010 + id);
  config.addressWord1 = inet_addr("255.255.255.0");
  config.addressWord2 = inet_addr("127.0.0.1");
  return config;
}

// ------------------------------------------------------------ settings

template <typename Record>
void FillRecord(Record& record, uint32_t round) {
  auto* bytes = reinterpret_cast<uint8_t*>(&record);
  for (size_t i = 0; i < sizeof record; ++i) bytes[i] = static_cast<uint8_t>(round * 7 + i);
}

template <typename Record>
void ReadBack(const char* setting, int camera, const Record& written, const Record& read) {
  if (std::memcmp(&written, &read, sizeof written) != 0) {
    Problem(std::string(setting) + " read back differs", "camera " + std::to_string(camera));
  }
}

// Writes a record filled for `round` to camera `c` (handle `h`), reads it
// back and reports any difference. Some setters take the record by value.
template <typename Record, auto Set, auto Get>
void WriteAndReadBack(const char* what, const char* setName, const char* getName, int h, int c, uint32_t round) {
  Record written, read;
  FillRecord(written, round);
  int result;
  if constexpr (std::is_invocable_v<decltype(Set), int, const Record*, unsigned>) {
    result = Set(h, &written, kTimeoutMs);
  } else {
    result = Set(h, written, kTimeoutMs);
  }
  if (Call(setName, result, c) && Call(getName, Get(h, &read, kTimeoutMs), c)) ReadBack(what, c, written, read);
}

// Runs `work(h, c, round)` over the cameras again and again until `stop`;
// `round` counts every call, so each writes values of its own.
template <typename Work>
void RoundsOverCameras(const StopSignal& stop, Work work) {
  uint32_t round = 0;
  while (!stop.Raised()) {
    for (int c = 0; c < kCameras && !stop.Raised(); ++c) work(g_handles[c].load(), c, ++round);
  }
}

// Values and records the first settings thread owns; each is written and
// read back.
void SettingsWorkerA(const StopSignal& stop) {
  RoundsOverCameras(stop, [&](int h, int c, uint32_t round) {
    const int rotation = 90 * static_cast<int>(round % 4);
    if (Call("VKT_SetImageRotation", VKT_SetImageRotation(h, rotation, kTimeoutMs), c)) {
      int got = -1;
      if (Call("VKT_GetImageRotation", VKT_GetImageRotation(h, &got, kTimeoutMs), c) && got != rotation) {
        Problem("image rotation read back differs", "camera " + std::to_string(c));
      }
    }
    int rotationDefault = -1;
    Call("VKT_GetDefaultImageRotation", VKT_GetDefaultImageRotation(h, &rotationDefault, kTimeoutMs), c);

    WriteAndReadBack<OSDInfo, VKT_SetOSDInfo, VKT_GetOSDInfo>("OSD record", "VKT_SetOSDInfo", "VKT_GetOSDInfo", h,
                                                              c, round);
    WriteAndReadBack<ITSParam, VKT_SetITSParam, VKT_GetITSParam>("ITS record", "VKT_SetITSParam",
                                                                 "VKT_GetITSParam", h, c, round);
    ITSParam itsDefault;
    Call("VKT_GetDefaultITSParam", VKT_GetDefaultITSParam(h, &itsDefault, kTimeoutMs), c);

    const int ae = static_cast<int>(round & 1);
    int aeRead = -1;
    if (Call("VKT_SetAE", VKT_SetAE(h, ae, kTimeoutMs), c) &&
        Call("VKT_GetAE", VKT_GetAE(h, &aeRead, kTimeoutMs), c) && aeRead != ae) {
      Problem("AE mode read back differs", "camera " + std::to_string(c));
    }
    stop.WaitFor(kSettingsPause);
  });
}

// The second settings thread's values and records, and a few records it
// only reads.
void SettingsWorkerB(const StopSignal& stop) {
  RoundsOverCameras(stop, [&](int h, int c, uint32_t round) {
    WriteAndReadBack<SNTPParam, VKT_SetSNTPParam, VKT_GetSNTPParam>("SNTP record", "VKT_SetSNTPParam",
                                                                     "VKT_GetSNTPParam", h, c, round);
    WriteAndReadBack<NightControlParam, VKT_SetNightControlParam, VKT_GetNightControlParam>(
        "night control record", "VKT_SetNightControlParam", "VKT_GetNightControlParam", h, c, round);
    WriteAndReadBack<AEParam, VKT_SetAEParam, VKT_GetAEParam>("AE record", "VKT_SetAEParam", "VKT_GetAEParam", h, c,
                                                              round);
    WriteAndReadBack<AWBParam, VKT_SetAWBParam, VKT_GetAWBParam>("AWB record", "VKT_SetAWBParam", "VKT_GetAWBParam",
                                                                 h, c, round);

    DeviceInfo info, infoDefault;
    Call("VKT_GetDeviceInfo", VKT_GetDeviceInfo(h, &info, kTimeoutMs), c);
    Call("VKT_GetDefaultDeviceInfo", VKT_GetDefaultDeviceInfo(h, &infoDefault, kTimeoutMs), c);
    TriggInputSet triggers;
    Call("VKT_GetTriggInputSet", VKT_GetTriggInputSet(h, &triggers, kTimeoutMs), c);
    FlashLampParam lamp;
    Call("VKT_GetFlashLamp", VKT_GetFlashLamp(h, &lamp, kTimeoutMs), c);
    FTPParam ftp;
    Call("VKT_GetFTPParam", VKT_GetFTPParam(h, &ftp, kTimeoutMs), c);
    stop.WaitFor(kSettingsPause);
  });
}

// State reads that always ask the camera.
void StateWorker(const StopSignal& stop) {
  while (!stop.Raised()) {
    for (int c = 0; c < kCameras && !stop.Raised(); ++c) {
      const int h = g_handles[c].load();
      int state = -1;
      if (Call("VKT_GetState", VKT_GetState(h, &state, kTimeoutMs), c) && state != 0) {
        Problem("GetState says the camera did not answer", "camera " + std::to_string(c));
      }
      int degrees = 0;
      if (Call("VKT_GetCameraTemperature", VKT_GetCameraTemperature(h, &degrees, kTimeoutMs), c) && degrees != 36) {
        Problem("temperature is not 36", std::to_string(degrees));
      }
      SDCardState card{};
      if (Call("VKT_GetSDCardState", VKT_GetSDCardState(h, &card, kTimeoutMs), c) &&
          (card.word[0] != 1 || card.word[1] != 32768 || card.word[2] > 32768 || card.word[2] < 0)) {
        Problem("unexpected SD card state", std::to_string(card.word[0]) + " " + std::to_string(card.word[1]) +
                                                " " + std::to_string(card.word[2]));
      }
      int progress = -1;
      if (Call("VKT_GetFormatSDCardProgress", VKT_GetFormatSDCardProgress(h, &progress, kTimeoutMs), c) &&
          progress != 100) {
        Problem("format progress is not 100", std::to_string(progress));
      }
      SYSTEMTIME time{};
      int extra = 0;
      if (Call("VKT_GetDateTime", VKT_GetDateTime(h, &time, &extra, kTimeoutMs), c) &&
          (time.year < 2000 || time.month < 1 || time.month > 12)) {
        Problem("implausible camera clock", std::to_string(time.year));
      }
      int mode = 0;
      Call("VKT_GetWorkMode", VKT_GetWorkMode(h, &mode, kTimeoutMs), c);
      Call("VKT_GetParamState", VKT_GetParamState(h, kTimeoutMs), c);
      CameraStatistics stats{};
      stats.size = sizeof stats;
      Call("VKT_GetCameraStatistics", VKT_GetCameraStatistics(h, &stats, kTimeoutMs), c);
      stop.WaitFor(kStatePause);
    }
  }
}

void SnapshotWorker(const StopSignal& stop) {
  uint32_t n = 0;
  while (!stop.Raised()) {
    for (int c = 0; c < kCameras && !stop.Raised(); ++c) {
      const int value = static_cast<int>(kSnapshotTag | (++n & 0xFFFFFFu));
      Call("VKT_SnapPicture", VKT_SnapPicture(g_handles[c].load(), value, kTimeoutMs), c);
      stop.WaitFor(kSnapshotPause);
    }
  }
}

// ------------------------------------------------------------ SD cards

struct CardEntry {
  std::string name;
  int32_t value;
};

// Copies the listing out of the library's lent array (valid only until the
// next listing on this camera).
bool ListCard(int h, int camera, const std::string& path, std::vector<CardEntry>& entries) {
  entries.clear();
  DirectoryTree tree{};
  std::strncpy(tree.path, path.c_str(), sizeof tree.path - 1);
  tree.count = 0;
  tree.entries = nullptr;
  if (!Call("VKT_GetDirectoryTree", VKT_GetDirectoryTree(h, &tree, kTimeoutMs), camera)) return false;
  if (tree.entries == nullptr || tree.count <= 0) return true;
  for (int i = 0; i < tree.count; ++i) {
    const DirectoryEntry& e = tree.entries[i];
    entries.push_back({std::string(e.name, strnlen(e.name, sizeof e.name)), e.value});
  }
  return true;
}

// One pass over a camera's card: every picture the camera took is fetched,
// checked and deleted, so the card stays small however long the run; every
// kSeedFetchEvery-th pass also fetches the factory pictures (kept).
void DrainCard(int h, int camera, const std::set<std::string>& seeds, uint64_t pass, const StopSignal& stop) {
  std::vector<CardEntry> directories, pictures;
  if (!ListCard(h, camera, "/", directories)) return;
  for (const CardEntry& directory : directories) {
    if (directory.value != -1) {
      Problem("root listing holds a picture", directory.name);
      continue;
    }
    if (!ListCard(h, camera, "/" + directory.name, pictures)) return;
    for (const CardEntry& picture : pictures) {
      if (stop.Raised()) return;
      const std::string path = "/" + directory.name + "/" + picture.name;
      const bool seed = seeds.count(path) != 0;
      if (seed && pass % kSeedFetchEvery != 0) continue;
      DirectoryEntry name{};
      std::strncpy(name.name, path.c_str(), sizeof name.name - 1);
      char* bytes = nullptr;
      int length = 0;
      if (!Call("VKT_GetJPGPic", VKT_GetJPGPic(h, &name, &bytes, &length, kTimeoutMs), camera)) continue;
      g_tally.fetched.fetch_add(1, std::memory_order_relaxed);
      const auto* data = reinterpret_cast<const uint8_t*>(bytes);
      const std::string why = seed ? vktsoak::CheckSeedPicture(data, static_cast<size_t>(length), picture.value)
                                   : vktsoak::CheckStoredPicture(data, static_cast<size_t>(length), picture.value);
      if (!why.empty()) {
        g_tally.corrupt.fetch_add(1);
        Problem("corrupt stored picture", path + ": " + why);
      }
      if (seed) continue;
      char block[264] = {};
      std::strncpy(block, path.c_str(), 255);
      if (Call("VKT_DeleteJPGPic", VKT_DeleteJPGPic(h, block, kTimeoutMs), camera)) {
        g_tally.deleted.fetch_add(1, std::memory_order_relaxed);
      }
    }
  }
}

void CardWorker(int camera, std::set<std::string> seeds, const StopSignal& stop) {
  uint64_t pass = 0;
  while (!stop.Raised()) {
    DrainCard(g_handles[camera].load(), camera, seeds, ++pass, stop);
    stop.WaitFor(kCardPause);
  }
}

// ------------------------------------------------------------ streams

bool StartStream(int camera) {
  StreamState& s = g_tally.stream[camera];
  s.handle.store(g_handles[camera].load());
  s.last.store(0);
  s.active.store(true);
  if (Call("VKT_StartStream", VKT_StartStream(g_handles[camera].load(), OnFrame, camera, kTimeoutMs), camera)) {
    return true;
  }
  s.active.store(false);
  return false;
}

void StopStream(int camera) {
  // A stop returns 0 once the receiver is free, and no callback of the
  // stream runs after that.
  Call("VKT_StartStream (stop)", VKT_StartStream(g_handles[camera].load(), nullptr, 0, kTimeoutMs), camera);
  g_tally.stream[camera].active.store(false);
}

// Camera 1's stream is stopped and started again; camera 2 streams for a
// few seconds and stops.
void StreamCycler(const StopSignal& stop) {
  while (!stop.WaitFor(seconds(3))) {
    StopStream(1);
    StartStream(1);
    g_tally.restarts.fetch_add(1, std::memory_order_relaxed);
    if (stop.WaitFor(seconds(3))) break;
    const bool started = StartStream(2);
    stop.WaitFor(seconds(4));
    if (started) StopStream(2);
  }
}

// ------------------------------------------------------------ the fifth camera

struct Drops {
  long slowPictures = 0;   // not complete within the library's time window
  long otherPictures = 0;  // every other reason
  long framesGap = 0;      // a packet lost or repeated
  long otherFrames = 0;
  long datagramsIgnored = 0;
  long commandsSent = 0;
  void Add(const CameraStatistics& s) {
    slowPictures += static_cast<long>(s.picturesDroppedTimeWindow);
    otherPictures += static_cast<long>(s.picturesDroppedBadMarker + s.picturesDroppedShortApp1 +
                                       s.picturesDroppedOversize + s.picturesDroppedClosedEarly +
                                       s.picturesDroppedCameraDeleted + s.picturesDroppedNoCallback);
    framesGap += static_cast<long>(s.framesDroppedGap);
    otherFrames += static_cast<long>(s.framesDroppedPastLast + s.framesDroppedOversize);
    datagramsIgnored += static_cast<long>(s.datagramsIgnoredSize + s.datagramsIgnoredSender);
    commandsSent += static_cast<long>(s.commandsSent);
  }
};

std::mutex g_visitorLock;
Drops g_visitorDrops;  // of the fifth camera's deleted handles

bool ReadStatistics(int h, CameraStatistics& stats, int camera) {
  stats = CameraStatistics{};
  stats.size = sizeof stats;
  return Call("VKT_GetCameraStatistics", VKT_GetCameraStatistics(h, &stats, kTimeoutMs), camera);
}

// Adds the fifth camera, uses it a little (state, records, a snapshot
// awaited in the callback, its card drained) and deletes it; again and again.
void VisitorWorker(const DeviceRecord& record, const std::set<std::string>& seeds, const StopSignal& stop) {
  int previous = 0;
  uint32_t n = 0;
  while (!stop.Raised()) {
    const int h = VKT_AddCamera(&record, OnPicture, kTimeoutMs);
    if (h == -1 || h == 1) {
      Call("VKT_AddCamera", 1, kVisitor);
      stop.WaitFor(kVisitorPeriod);
      continue;
    }
    g_tally.calls.fetch_add(1, std::memory_order_relaxed);
    if (h == previous || CameraOfHandle(h) >= 0) Problem("a handle came back", std::to_string(h));
    previous = h;
    g_handles[kVisitor].store(h);

    int state = -1;
    Call("VKT_GetState", VKT_GetState(h, &state, kTimeoutMs), kVisitor);
    DeviceInfo info;
    Call("VKT_GetDeviceInfo", VKT_GetDeviceInfo(h, &info, kTimeoutMs), kVisitor);
    NetWorkParam network;
    if (Call("VKT_GetNetWorkParam", VKT_GetNetWorkParam(h, &network, kTimeoutMs), kVisitor) &&
        network.ipAddress != record.ipAddress) {
      Problem("the fifth camera's address read back differs", "");
    }
    const long before = g_tally.camera[kVisitor].snapshots.load();
    const int value = static_cast<int>(kVisitorSnapshotTag | (++n & 0xFFFFFFu));
    if (Call("VKT_SnapPicture", VKT_SnapPicture(h, value, kTimeoutMs), kVisitor)) {
      const auto deadline = Clock::now() + milliseconds(kTimeoutMs);
      while (g_tally.camera[kVisitor].snapshots.load() == before && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(10));
      }
      if (g_tally.camera[kVisitor].snapshots.load() == before) {
        Problem("the fifth camera's snapshot picture did not arrive", std::to_string(kTimeoutMs) + " ms");
      }
    }
    DrainCard(h, kVisitor, seeds, 1, stop);
    CameraStatistics stats;
    if (ReadStatistics(h, stats, kVisitor)) {
      std::lock_guard<std::mutex> lock(g_visitorLock);
      g_visitorDrops.Add(stats);
    }
    Call("VKT_DelCamera", VKT_DelCamera(h), kVisitor);
    g_handles[kVisitor].store(0);
    g_tally.visits.fetch_add(1, std::memory_order_relaxed);
    stop.WaitFor(kVisitorPeriod);
  }
}

// ------------------------------------------------------------ report

Drops CurrentDrops() {
  Drops drops;
  for (int c = 0; c < kCameras; ++c) {
    CameraStatistics stats;
    if (ReadStatistics(g_handles[c].load(), stats, c)) drops.Add(stats);
  }
  std::lock_guard<std::mutex> lock(g_visitorLock);
  drops.slowPictures += g_visitorDrops.slowPictures;
  drops.otherPictures += g_visitorDrops.otherPictures;
  drops.framesGap += g_visitorDrops.framesGap;
  drops.otherFrames += g_visitorDrops.otherFrames;
  drops.datagramsIgnored += g_visitorDrops.datagramsIgnored;
  drops.commandsSent += g_visitorDrops.commandsSent;
  return drops;
}

long FramesLost() {
  long lost = 0;
  for (const StreamState& s : g_tally.stream) lost += s.gaps.load();
  return lost;
}

struct Sample {
  int at;  // seconds since the load started
  long rssKiB;
  long heapKiB;
};

void PrintHeader() {
  std::printf("%6s %9s %9s %10s %9s %8s %7s %9s %9s\n", "time s", "RSS KiB", "heap KiB", "commands", "pictures",
              "frames", "errors", "timeouts", "fr. lost");
}

// Errors in the table and the verdict: failed checks and calls, and the
// library's drops other than those a starved machine explains.
long ErrorsNow(const Drops& drops) {
  return g_tally.errors.load() + drops.otherPictures + drops.otherFrames;
}

void PrintRow(const Sample& s, const Drops& drops) {
  std::printf("%6d %9ld %9ld %10ld %9ld %8ld %7ld %9ld %9ld\n", s.at, s.rssKiB, s.heapKiB, g_tally.calls.load(),
              g_tally.pictures.load(), g_tally.frames.load(), ErrorsNow(drops), g_tally.timeouts.load(),
              FramesLost());
  std::fflush(stdout);
}

// Drops the emulator's own records of the requests it served: a test aid
// that keeps up to 100000 of them per camera until cleared.
void EmulatorHousekeeping(vktemu::Emulator& emulator) {
  for (int id = 0; id < kAllCameras; ++id) emulator.clearCommandTraffic(id);
}

// After the triggers and snapshots stopped: waits until every picture the
// emulator pushed reached the callback or was dropped by the library, and
// the pushes stopped. The pictures still missing (0 when all arrived).
long SettlePictures(vktemu::Emulator& emulator) {
  const auto deadline = Clock::now() + seconds(15);
  long lastPushed = -1, missing = 0;
  auto stableSince = Clock::now();
  for (;;) {
    long pushed = 0;
    for (int id = 0; id < kAllCameras; ++id) pushed += static_cast<long>(emulator.picturesPushed(id));
    const Drops drops = CurrentDrops();
    long received = 0;
    for (const CameraTally& t : g_tally.camera) received += t.pictures.load();
    missing = pushed - received - drops.slowPictures - drops.otherPictures - g_tally.corruptPictures.load();
    if (pushed != lastPushed) {
      lastPushed = pushed;
      stableSince = Clock::now();
    }
    if ((missing <= 0 && Clock::now() - stableSince >= seconds(1)) || Clock::now() >= deadline) return missing;
    std::this_thread::sleep_for(milliseconds(200));
  }
}

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: vkt-soak [--seconds N]\n"
               "\n"
               "A bounded soak run of libVKTNetSDK11 against the in-process camera emulator.\n"
               "Four emulated cameras (127.0.0.10..13) are kept busy for N seconds (default %d,\n"
               "%d..%d): settings reads and writes (read back), state and SD card state,\n"
               "card listings with every taken picture fetched, checked and deleted,\n"
               "snapshots, %g triggered pictures a second per camera, video streams on\n"
               "cameras 0 and 1, stream stop/start cycles, and a fifth camera (127.0.0.14)\n"
               "added and deleted every %lld s. Every picture and frame is checked.\n"
               "\n"
               "Prints the process's resident memory (VmRSS) every %d s and at the end, with\n"
               "the allocator's bytes in use, the calls that succeeded, pictures and frames\n"
               "received, errors, command time-outs and frames lost. After the last sample\n"
               "it lets the allocator give its free pages back (malloc_trim) and prints\n"
               "VmRSS again. Exits 1 when VmRSS grew by 1 MiB or more from\n"
               "the sample at %d s to the last one (under %d s: from the first sample after\n"
               "a %d s warm-up), when anything arrived corrupt, or when errors go beyond\n"
               "what a loaded machine explains (command time-outs and slow pictures up to\n"
               "1%%, lost frames up to 5%%); 2 on a usage error; 3 when it cannot start.\n"
               "\n"
               "The library allows one process per network namespace and the emulator\n"
               "plays its cameras on loopback addresses, so run it inside a private\n"
               "namespace that has loopback only:\n"
               "\n"
               "  tools/netns-run build/bench/vkt-soak --seconds 180\n",
               kDefaultSeconds, kMinSeconds, kMaxSeconds, kTriggersPerSecond,
               static_cast<long long>(kVisitorPeriod.count()), kSampleEverySeconds, kBaselineSeconds,
               kShortRunSeconds, kShortWarmupSeconds);
}

bool ParseSeconds(const char* text, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < kMinSeconds || v > kMaxSeconds) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runSeconds = kDefaultSeconds;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (arg == "--seconds" && i + 1 < argc) {
      if (!ParseSeconds(argv[++i], runSeconds)) {
        std::fprintf(stderr, "vkt-soak: --seconds takes a whole number from %d to %d\n", kMinSeconds, kMaxSeconds);
        return 2;
      }
      continue;
    }
    PrintUsage(stderr);
    return 2;
  }

  const std::string others = vktsoak::InterfacesBesidesLoopback();
  if (!others.empty()) {
    std::fprintf(stderr,
                 "vkt-soak: this network namespace has interfaces besides loopback (%s).\n"
                 "Run it inside a private one: tools/netns-run build/bench/vkt-soak --seconds %d\n",
                 others.c_str(), runSeconds);
    return 3;
  }

  const int init = VKT_Init(VKT_SDK_VERSION, nullptr);
  if (init != 0) {
    std::fprintf(stderr, "vkt-soak: VKT_Init returned %d%s\n", init,
                 init == -1 ? " (another process in this namespace uses the library)" : "");
    return 3;
  }

  vktemu::Emulator emulator;
  DeviceRecord records[kAllCameras];
  for (int id = 0; id < kAllCameras; ++id) {
    const vktemu::CameraConfig config = CameraConfigOf(id);
    if (emulator.addCamera(config) != id) {
      std::fprintf(stderr, "vkt-soak: the emulator refused camera %d\n", id);
      VKT_Close();
      return 3;
    }
    records[id] = vkttest::RecordOf(config);
    // The fifth camera's pictures are tiny: the emulator keeps the last 64
    // pushes of each camera, and that camera takes one only every few
    // seconds, so its log would still be filling when memory is compared.
    if (id == kVisitor) emulator.setPictureSize(id, 64, 48, 75);
  }
  std::string error;
  if (!emulator.start(&error)) {
    std::fprintf(stderr, "vkt-soak: the emulator did not start: %s\n", error.c_str());
    VKT_Close();
    return 3;
  }
  // The factory pictures of every card, kept on the card the whole run.
  std::set<std::string> seeds[kAllCameras];
  for (int id = 0; id < kAllCameras; ++id) {
    for (const std::string& path : emulator.storedPictures(id)) seeds[id].insert(path);
  }

  for (int c = 0; c < kCameras; ++c) {
    const int h = VKT_AddCamera(&records[c], OnPicture, kTimeoutMs);
    if (h == -1 || h == 1) {
      std::fprintf(stderr, "vkt-soak: VKT_AddCamera of %s failed: %s\n", kAddresses[c],
                   vkttools::DescribeError(VKT_GetLastError()).c_str());
      emulator.stop();
      VKT_Close();
      return 3;
    }
    g_handles[c].store(h);
  }
  for (int c = 0; c < 2; ++c) {
    if (!StartStream(c)) {
      std::fprintf(stderr, "vkt-soak: the stream of camera %d did not start\n", c);
      emulator.stop();
      VKT_Close();
      return 3;
    }
  }

  std::printf("vkt-soak: %d s of load on %d cameras (%g triggers/s each, streams on cameras 0 and 1),\n"
              "a fifth camera added and deleted every %lld s; VmRSS every %d s\n",
              runSeconds, kCameras, kTriggersPerSecond, static_cast<long long>(kVisitorPeriod.count()),
              kSampleEverySeconds);
  g_start = Clock::now();
  for (int c = 0; c < kCameras; ++c) emulator.startTriggers(c, kTriggersPerSecond);

  StopSignal stop;
  std::vector<std::thread> workers;
  workers.emplace_back(SettingsWorkerA, std::cref(stop));
  workers.emplace_back(SettingsWorkerB, std::cref(stop));
  workers.emplace_back(StateWorker, std::cref(stop));
  workers.emplace_back(SnapshotWorker, std::cref(stop));
  for (int c = 0; c < kCameras; ++c) workers.emplace_back(CardWorker, c, seeds[c], std::cref(stop));
  workers.emplace_back(StreamCycler, std::cref(stop));
  workers.emplace_back(VisitorWorker, std::cref(records[kVisitor]), std::cref(seeds[kVisitor]), std::cref(stop));

  PrintHeader();
  std::vector<Sample> samples;
  for (int next = kSampleEverySeconds;; next += kSampleEverySeconds) {
    const int at = std::min(next, runSeconds);
    const auto due = g_start + seconds(at);
    while (Clock::now() < due) {
      EmulatorHousekeeping(emulator);
      std::this_thread::sleep_until(std::min(due, Clock::now() + seconds(1)));
    }
    samples.push_back({at, vktbench::ResidentKiB(), vktsoak::HeapInUseKiB()});
    PrintRow(samples.back(), CurrentDrops());
    if (at >= runSeconds) break;
  }
  // How much of the last sample was free memory the allocator kept: it
  // gives its free pages back to the system here (after the last sample,
  // so the samples themselves are untouched).
  malloc_trim(0);
  const long trimmedKiB = vktbench::ResidentKiB();

  // The end: the load stops, every pushed picture is accounted for, the
  // streams stop.
  stop.Raise();
  for (std::thread& t : workers) t.join();
  for (int c = 0; c < kCameras; ++c) emulator.stopTriggers(c);
  const long missingPictures = SettlePictures(emulator);
  StopStream(0);
  StopStream(1);
  const Drops drops = CurrentDrops();
  LibraryStatistics library{};
  library.size = sizeof library;
  VKT_GetLibraryStatistics(&library);
  if (missingPictures > 0) {
    Problem("pictures pushed but neither delivered nor dropped", std::to_string(missingPictures));
  }
  if (library.unknownSenderConnections != 0) {
    Problem("picture connections from no added camera", std::to_string(library.unknownSenderConnections));
  }

  // Memory.
  const bool shortRun = runSeconds < kShortRunSeconds;
  const int baselineAt = shortRun ? kShortWarmupSeconds : kBaselineSeconds;
  const Sample* baseline = nullptr;
  for (const Sample& s : samples) {
    if (s.at >= baselineAt) {
      baseline = &s;
      break;
    }
  }
  const Sample& last = samples.back();
  bool failed = false;
  std::printf("\n");
  if (baseline == nullptr || baseline == &last || baseline->rssKiB < 0 || last.rssKiB < 0) {
    std::printf("memory: too few samples for a growth check\n");
    failed = true;
  } else {
    const long growth = last.rssKiB - baseline->rssKiB;
    if (shortRun) {
      std::printf("memory: a run under %d s: growth measured after a %d s warm-up, from the first sample (%d s)\n"
                  "        to the last (%d s)\n",
                  kShortRunSeconds, kShortWarmupSeconds, baseline->at, last.at);
    }
    std::printf("memory: VmRSS %ld KiB at %d s, %ld KiB at %d s: growth %+ld KiB (limit %ld KiB)%s\n",
                baseline->rssKiB, baseline->at, last.rssKiB, last.at, growth, kGrowthLimitKiB,
                growth >= kGrowthLimitKiB ? ": TOO MUCH" : "");
    std::printf("        heap in use %ld KiB at %d s, %ld KiB at %d s: %+ld KiB\n", baseline->heapKiB, baseline->at,
                last.heapKiB, last.at, last.heapKiB - baseline->heapKiB);
    std::printf("        VmRSS %ld KiB right after the last sample once the allocator gave its free pages back\n"
                "        (malloc_trim): %+ld KiB from the sample at %d s\n",
                trimmedKiB, trimmedKiB - baseline->rssKiB, baseline->at);
    if (growth >= kGrowthLimitKiB) failed = true;
  }

  // Load and errors.
  long triggers = 0, snapshots = 0;
  for (const CameraTally& t : g_tally.camera) {
    triggers += t.triggers.load();
    snapshots += t.snapshots.load();
  }
  long pushed = 0;
  for (int id = 0; id < kAllCameras; ++id) pushed += static_cast<long>(emulator.picturesPushed(id));
  const long calls = g_tally.calls.load(), timeouts = g_tally.timeouts.load();
  const long framesLost = FramesLost(), frames = g_tally.frames.load();
  std::printf("load:   %ld calls succeeded (%ld commands sent by the library), %ld timed out\n", calls,
              drops.commandsSent, timeouts);
  std::printf("        %ld pictures received (%ld triggered, %ld snapshots) of %ld pushed; dropped by the library:\n"
              "        %ld too slow, %ld for other reasons; %ld still missing at the end\n",
              g_tally.pictures.load(), triggers, snapshots, pushed, drops.slowPictures, drops.otherPictures,
              std::max(missingPictures, 0L));
  std::printf("        %ld frames received, %ld lost (library: %ld dropped for a packet gap, %ld otherwise),\n"
              "        %ld datagrams ignored; %ld stream restarts\n",
              frames, framesLost, drops.framesGap, drops.otherFrames, drops.datagramsIgnored,
              g_tally.restarts.load());
  std::printf("        %ld card pictures fetched, %ld deleted; %ld add/delete cycles of the fifth camera\n",
              g_tally.fetched.load(), g_tally.deleted.load(), g_tally.visits.load());
  const long errors = ErrorsNow(drops);
  std::printf("errors: %ld (%ld corrupt pictures or frames)\n", errors, g_tally.corrupt.load());
  {
    std::lock_guard<std::mutex> lock(g_problemLock);
    for (const auto& [kind, count] : g_problems) {
      std::printf("        %6ld  %s (first: %s)\n", count, kind.c_str(), g_problemExamples[kind].c_str());
    }
  }
  if (errors > 0) failed = true;
  if (timeouts > kTimeoutShare * static_cast<double>(calls + timeouts)) {
    std::printf("too many time-outs: %ld of %ld calls\n", timeouts, calls + timeouts);
    failed = true;
  }
  if (drops.slowPictures > kSlowPictureShare * static_cast<double>(pushed)) {
    std::printf("too many slow pictures: %ld of %ld\n", drops.slowPictures, pushed);
    failed = true;
  }
  if (framesLost > kLostFrameShare * static_cast<double>(frames + framesLost)) {
    std::printf("too many frames lost: %ld of %ld\n", framesLost, frames + framesLost);
    failed = true;
  }
  std::printf("result: %s\n", failed ? "FAILED" : "passed");
  std::fflush(stdout);

  for (int c = 0; c < kCameras; ++c) VKT_DelCamera(g_handles[c].load());
  emulator.stop();
  VKT_Close();
  return failed ? 1 : 0;
}

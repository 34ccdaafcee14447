// A camera's SD card: the pictures it stores, by directory and file name,
// whether a card is in, and the format under way. The card is seeded with
// its deterministic pictures on first use (encoding them costs a few
// milliseconds most tests never need). Locks itself, so the command
// handlers and the picture pusher use it from their own threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "command_wire.h"
#include "emulator.h"

namespace vktemu {

class SdCard {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr int32_t kNoCard = 0;
  static constexpr int32_t kReady = 1;
  static constexpr int32_t kFormatting = 2;
  static constexpr int32_t kCapacityMiB = 32768;
  // Long runs of triggers must not grow memory without bound: past either
  // limit the oldest pictures go (the newest always stays).
  static constexpr size_t kMaxPictures = 10000;
  static constexpr size_t kMaxBytes = size_t{64} << 20;
  static constexpr std::chrono::milliseconds kDefaultFormatDuration{3000};

  struct State {
    int32_t status = kReady;
    int32_t capacityMiB = kCapacityMiB;
    int32_t freeMiB = kCapacityMiB;
  };

  struct Listing {
    bool tree = false;   // false: no card, or formatting
    bool found = false;  // the directory exists (with a tree)
    std::vector<wire::SdEntry> entries;
  };

  // The seed pictures are drawn with the camera's id.
  explicit SdCard(int cameraId) : cameraId_(cameraId) {}

  State state();
  // Starts a format: 0, kStatusBusy while one runs, kStatusRefused without
  // a card. The pictures are gone at once; the card is busy until the
  // format's duration has passed.
  int32_t startFormat();
  // 0..100, rising with the time a format has run; 100 when none runs.
  int32_t formatProgress();
  size_t formatCount() const;
  void setFormatDuration(std::chrono::milliseconds duration);  // clamped to 0..3600000 ms
  void setPresent(bool present);                               // the pictures stay on a card taken out

  // "" and "/" are the root (its directories); "/DIR", "DIR" and "/DIR/"
  // the directory's pictures.
  Listing list(std::string_view path);
  // 0 and the bytes; kStatusBusy while formatting; kStatusBadParameter
  // without a card or for an unknown picture.
  int32_t fetch(std::string_view path, std::vector<uint8_t>& bytes);
  // A directory left empty goes too. Statuses as fetch's.
  int32_t remove(std::string_view path);

  // A picture the camera took at `seconds` (its clock), numbered `number`:
  // stored as /YYYYMMDD/HHMMSS_NNN.jpg in the local time zone, unless there
  // is no card or it is formatting.
  void storeTaken(int64_t seconds, uint32_t number, const std::vector<uint8_t>& bytes);
  // Stores whatever the card's state. False when `path` is not
  // "/DIRECTORY/NAME" with names of no '/', fitting the 256-byte field.
  bool add(std::string_view path, std::vector<uint8_t> bytes);
  std::vector<std::string> paths();  // "/DIRECTORY/NAME", sorted
  std::optional<std::vector<uint8_t>> picture(std::string_view path);
  void clear();

  // While set, every listing reply carries exactly these bytes.
  std::optional<std::vector<uint8_t>> listingOverride() const;
  void setListingOverride(std::optional<std::vector<uint8_t>> payload);

 private:
  struct Stored {
    std::vector<uint8_t> bytes;
    uint64_t serial = 0;  // storing order: the smallest goes first
  };
  using Directory = std::map<std::string, Stored, std::less<>>;

  // Caller holds the lock.
  const Stored* find(std::string_view path) const;
  // The picture a fetch or delete names, or none and why (as fetch()).
  const Stored* reach(std::string_view path, int32_t& status);
  void settle();
  void seedOnce();
  bool formatting() const;
  void put(const std::string& directory, const std::string& name, std::vector<uint8_t> bytes);
  void erase(const std::string& directory, const std::string& name);
  void eraseAll();

  mutable std::mutex mutex_;
  const int cameraId_;
  bool seeded_ = false;
  bool present_ = true;
  std::optional<Clock::time_point> formatEnd_;
  Clock::time_point formatStart_{};
  std::chrono::milliseconds formatDuration_ = kDefaultFormatDuration;
  size_t formatCount_ = 0;
  std::map<std::string, Directory, std::less<>> directories_;
  std::map<uint64_t, std::pair<std::string, std::string>> order_;  // serial -> directory, name
  uint64_t nextSerial_ = 0;
  size_t bytes_ = 0;
  std::optional<std::vector<uint8_t>> listingOverride_;
};

// The card's path of a picture taken at `seconds` (local time) numbered
// `number`: "/YYYYMMDD/HHMMSS_NNN.jpg" (NNN at least three digits).
std::string takenPicturePath(int64_t seconds, uint32_t number);

// A picture the card holds without the camera having taken it: the test
// pattern (camera id, number) as a JFIF file of at least `minSize` bytes
// (COM segments after the JFIF header make up the rest). Nothing, with a
// message, when the encoder fails.
std::optional<std::vector<uint8_t>> sdJpeg(int cameraId, uint32_t number, int width, int height, size_t minSize,
                                           std::string* error);

}  // namespace vktemu

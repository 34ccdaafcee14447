#include "sd_card.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "picture_wire.h"
#include "test_pattern.h"

namespace vktemu {
namespace {

struct SeedShape {
  const char* directory;
  const char* name;
  int width;
  int height;
};

// The seed set: two directories of three pictures each, of three sizes,
// drawn with the camera's id, so the same for the same id on every run.
// Small sizes: a card is seeded on its first use, on the camera's command
// thread.
constexpr std::array<SeedShape, 6> kSeeds = {{
    {"20261208", "081502_001.jpg", 160, 120},
    {"20261208", "081517_002.jpg", 320, 240},
    {"20261208", "093044_003.jpg", 64, 48},
    {"20261209", "103015_004.jpg", 320, 240},
    {"20261209", "103016_005.jpg", 160, 120},
    {"20261209", "171201_006.jpg", 480, 360},
}};

std::string_view withoutLeadingSlash(std::string_view path) {
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return path;
}

// The directory a listing names: "" for the root; nothing for a nested path.
std::optional<std::string_view> listedDirectory(std::string_view path) {
  path = withoutLeadingSlash(path);
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (path.find('/') != std::string_view::npos) return std::nullopt;
  return path;
}

// "/DIRECTORY/NAME" (the leading '/' optional) as its two names.
std::optional<std::pair<std::string_view, std::string_view>> picturePath(std::string_view path) {
  path = withoutLeadingSlash(path);
  const auto slash = path.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto directory = path.substr(0, slash), name = path.substr(slash + 1);
  if (directory.empty() || name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
  return std::pair{directory, name};
}

}  // namespace

std::string takenPicturePath(int64_t seconds, uint32_t number) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!::localtime_r(&t, &local)) local = std::tm{};
  char text[64];
  std::snprintf(text, sizeof text, "/%04d%02d%02d/%02d%02d%02d_%03u.jpg", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, number);
  return text;
}

SdCard::State SdCard::state() {
  std::lock_guard lock(mutex_);
  settle();
  State state;
  if (!present_) {
    state.status = kNoCard;
    state.capacityMiB = 0;
    state.freeMiB = 0;
    return state;
  }
  state.status = formatting() ? kFormatting : kReady;
  seedOnce();
  const size_t capacity = static_cast<size_t>(kCapacityMiB) << 20;
  state.freeMiB = static_cast<int32_t>((capacity - std::min(bytes_, capacity)) >> 20);
  return state;
}

int32_t SdCard::startFormat() {
  std::lock_guard lock(mutex_);
  settle();
  if (!present_) return wire::kStatusRefused;
  if (formatting()) return wire::kStatusBusy;
  ++formatCount_;
  seeded_ = true;
  eraseAll();
  formatStart_ = Clock::now();
  if (formatDuration_.count() > 0) formatEnd_ = formatStart_ + formatDuration_;
  return 0;
}

int32_t SdCard::formatProgress() {
  std::lock_guard lock(mutex_);
  settle();
  if (!present_ || !formatting()) return 100;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - formatStart_);
  return static_cast<int32_t>(std::clamp<int64_t>(elapsed.count() * 100 / formatDuration_.count(), 0, 99));
}

size_t SdCard::formatCount() const {
  std::lock_guard lock(mutex_);
  return formatCount_;
}

void SdCard::setFormatDuration(std::chrono::milliseconds duration) {
  std::lock_guard lock(mutex_);
  formatDuration_ = clampedDelay(duration);
}

void SdCard::setPresent(bool present) {
  std::lock_guard lock(mutex_);
  present_ = present;
}

SdCard::Listing SdCard::list(std::string_view path) {
  std::lock_guard lock(mutex_);
  settle();
  Listing listing;
  if (!present_ || formatting()) return listing;
  seedOnce();
  listing.tree = true;
  const auto directory = listedDirectory(path);
  if (!directory) return listing;
  if (directory->empty()) {
    listing.found = true;
    for (const auto& [name, pictures] : directories_) listing.entries.push_back({wire::kSdDirectoryValue, name});
    return listing;
  }
  const auto found = directories_.find(*directory);
  if (found == directories_.end()) return listing;
  listing.found = true;
  for (const auto& [name, stored] : found->second)
    listing.entries.push_back({static_cast<int32_t>(stored.bytes.size()), name});
  return listing;
}

int32_t SdCard::fetch(std::string_view path, std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  int32_t status = 0;
  if (const Stored* found = reach(path, status)) bytes = found->bytes;
  return status;
}

int32_t SdCard::remove(std::string_view path) {
  std::lock_guard lock(mutex_);
  int32_t status = 0;
  if (reach(path, status)) {
    const auto names = picturePath(path);
    erase(std::string(names->first), std::string(names->second));
  }
  return status;
}

void SdCard::storeTaken(int64_t seconds, uint32_t number, const std::vector<uint8_t>& bytes) {
  const std::string path = takenPicturePath(seconds, number);
  std::lock_guard lock(mutex_);
  settle();
  if (!present_ || formatting()) return;
  seedOnce();
  const auto names = picturePath(path);
  if (names) put(std::string(names->first), std::string(names->second), bytes);
}

bool SdCard::add(std::string_view path, std::vector<uint8_t> bytes) {
  const auto names = picturePath(path);
  if (!names || names->first.find('\0') != std::string_view::npos ||
      names->second.find('\0') != std::string_view::npos ||
      1 + names->first.size() + 1 + names->second.size() >= wire::kSdTextSize)
    return false;
  std::lock_guard lock(mutex_);
  settle();
  seedOnce();
  put(std::string(names->first), std::string(names->second), std::move(bytes));
  return true;
}

std::vector<std::string> SdCard::paths() {
  std::lock_guard lock(mutex_);
  settle();
  seedOnce();
  std::vector<std::string> out;
  out.reserve(order_.size());
  for (const auto& [directory, pictures] : directories_) {
    for (const auto& [name, stored] : pictures) out.push_back("/" + directory + "/" + name);
  }
  return out;
}

std::optional<std::vector<uint8_t>> SdCard::picture(std::string_view path) {
  std::lock_guard lock(mutex_);
  settle();
  seedOnce();
  const Stored* found = find(path);
  if (!found) return std::nullopt;
  return found->bytes;
}

void SdCard::clear() {
  std::lock_guard lock(mutex_);
  seeded_ = true;
  eraseAll();
}

std::optional<std::vector<uint8_t>> SdCard::listingOverride() const {
  std::lock_guard lock(mutex_);
  return listingOverride_;
}

void SdCard::setListingOverride(std::optional<std::vector<uint8_t>> payload) {
  std::lock_guard lock(mutex_);
  listingOverride_ = std::move(payload);
}

const SdCard::Stored* SdCard::find(std::string_view path) const {
  const auto names = picturePath(path);
  if (!names) return nullptr;
  const auto directory = directories_.find(names->first);
  if (directory == directories_.end()) return nullptr;
  const auto found = directory->second.find(names->second);
  return found == directory->second.end() ? nullptr : &found->second;
}

const SdCard::Stored* SdCard::reach(std::string_view path, int32_t& status) {
  settle();
  status = !present_ ? wire::kStatusBadParameter : formatting() ? wire::kStatusBusy : 0;
  if (status != 0) return nullptr;
  seedOnce();
  const Stored* found = find(path);
  if (!found) status = wire::kStatusBadParameter;
  return found;
}

void SdCard::settle() {
  if (formatEnd_ && Clock::now() >= *formatEnd_) formatEnd_.reset();
}

void SdCard::seedOnce() {
  if (seeded_) return;
  seeded_ = true;
  uint32_t number = 0;
  for (const auto& seed : kSeeds) {
    if (auto bytes = sdJpeg(cameraId_, ++number, seed.width, seed.height, 0, nullptr))
      put(seed.directory, seed.name, std::move(*bytes));
  }
}

bool SdCard::formatting() const { return formatEnd_.has_value(); }

void SdCard::put(const std::string& directory, const std::string& name, std::vector<uint8_t> bytes) {
  erase(directory, name);
  const uint64_t serial = nextSerial_++;
  bytes_ += bytes.size();
  directories_[directory][name] = Stored{std::move(bytes), serial};
  order_.emplace(serial, std::pair{directory, name});
  while (order_.size() > 1 && (order_.size() > kMaxPictures || bytes_ > kMaxBytes)) {
    const auto oldest = order_.begin()->second;
    erase(oldest.first, oldest.second);
  }
}

void SdCard::erase(const std::string& directory, const std::string& name) {
  const auto found = directories_.find(directory);
  if (found == directories_.end()) return;
  const auto picture = found->second.find(name);
  if (picture == found->second.end()) return;
  bytes_ -= picture->second.bytes.size();
  order_.erase(picture->second.serial);
  found->second.erase(picture);
  if (found->second.empty()) directories_.erase(found);
}

void SdCard::eraseAll() {
  directories_.clear();
  order_.clear();
  bytes_ = 0;
}

std::optional<std::vector<uint8_t>> sdJpeg(int cameraId, uint32_t number, int width, int height, size_t minSize,
                                           std::string* error) {
  const auto jpeg = testPatternJpeg({width, height, 85}, cameraId, number, {}, error);
  if (!jpeg) return std::nullopt;
  // The encoder leaves the JFIF header to us, as for pushed pictures.
  const auto body = wire::jpegBody(*jpeg);
  if (body.empty()) {
    if (error) *error = "the encoder's output has no JPEG body";
    return std::nullopt;
  }
  const size_t plainSize = wire::kJfifHeader.size() + body.size();
  std::vector<uint8_t> out;
  out.reserve(std::max(plainSize, minSize) + 4);
  out.assign(wire::kJfifHeader.begin(), wire::kJfifHeader.end());
  if (minSize > plainSize) wire::appendPadding(out, minSize - plainSize);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace vktemu

// The 652-byte configuration file: nine records in a fixed order, read
// apart from the camera calls that apply them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vkt::settings {

inline constexpr size_t kConfigFileSize = 652;
inline constexpr size_t kConfigRecords = 9;

// One record of a file: where its bytes are and whether an import applies it.
struct ConfigFileRecord {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  bool apply = false;
};
using ConfigFileRecords = std::array<ConfigFileRecord, kConfigRecords>;

// Splits `length` bytes read from a file into its records, in file order
// (FTP, device information, ITS, night control, SNTP, picture file names,
// OSD, AWB mode, AWB parameters). The AWB parameters apply only when the
// file's AWB mode is 0. False, with `records` untouched, when fewer than
// kConfigFileSize bytes are given; bytes after them are ignored.
bool SplitConfigFile(const uint8_t* data, size_t length, ConfigFileRecords& records);

}  // namespace vkt::settings

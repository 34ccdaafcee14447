// Paths on the camera's SD card, the blocks the storage calls take and the
// local file names pictures are saved under (pure functions); and those
// calls as the "vktcli sd" actions use them: whatever the library lends (a
// listing's array, a picture's buffer) is copied out before the next call
// could take it back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "VKTNetSDK11.h"

namespace vktcli {

// One entry of a directory listing, copied out of the library's array.
// `value` is -1 for a directory, else a picture's size in bytes (as the
// camera reports it).
struct CardEntry {
  std::string name;
  std::int32_t value = 0;

  bool IsPicture() const { return value >= 0; }
};

// A path fills a 256-byte field with its terminator.
inline constexpr std::size_t kMaxCameraPath = sizeof(DirectoryTree::path) - 1;

// The block VKT_DeleteJPGPic sends: the path field, then eight zero bytes.
inline constexpr std::size_t kDeleteBlockSize = sizeof(DirectoryTree::path) + 8;
using DeleteBlock = std::array<char, kDeleteBlockSize>;

// `path` without trailing slashes ("/" stays "/"). "" when the path does not
// start with '/', holds a NUL or is longer than kMaxCameraPath; `error`
// then says why.
std::string NormalCameraPath(std::string_view path, std::string& error);

// "/20261209" + "103015_001.jpg" -> "/20261209/103015_001.jpg"; "/" + "x" -> "/x".
std::string JoinCameraPath(std::string_view directory, std::string_view name);

// The last part of a path: "/20261209/103015_001.jpg" -> "103015_001.jpg".
std::string_view BareName(std::string_view path);

// Whether a name from the camera may become a file in a local directory:
// not empty, not "." or "..", no '/', no control bytes. The camera's names
// are not trusted to stay inside the directory they are written to.
bool IsSafeFileName(std::string_view name);

// The name block of VKT_GetJPGPic: a DirectoryEntry with value 0 and the
// picture's full path. `path` must be at most kMaxCameraPath bytes.
DirectoryEntry PictureNameBlock(std::string_view path);

// The block of VKT_DeleteJPGPic. `path` must be at most kMaxCameraPath bytes.
DeleteBlock PictureDeleteBlock(std::string_view path);

// Lists the directory `path` (a NormalCameraPath). False when the call
// failed; the reason is the library's last error.
bool ListCardDirectory(int camera, const std::string& path, unsigned timeoutMs, std::vector<CardEntry>& entries);

// Fetches the picture at the full path `path` into `bytes`. False when the
// call failed; the reason is the library's last error.
bool FetchCardPicture(int camera, const std::string& path, unsigned timeoutMs, std::vector<char>& bytes);

// Deletes the picture at the full path `path`.
bool DeleteCardPicture(int camera, const std::string& path, unsigned timeoutMs);

}  // namespace vktcli

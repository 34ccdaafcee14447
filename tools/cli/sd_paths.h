// Paths on the camera's SD card and the blocks the storage calls take, and
// the local file names pictures are saved under. Pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "VKTNetSDK11.h"

namespace vktcli {

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

}  // namespace vktcli

// The storage calls of the library as the "vktcli sd" actions use them:
// whatever the library lends (a listing's array, a picture's buffer) is
// copied out before the next call could take it back.
#pragma once

#include <string>
#include <vector>

#include "sd_text.h"

namespace vktcli {

// Lists the directory `path` (a NormalCameraPath). False when the call
// failed; the reason is the library's last error.
bool ListCardDirectory(int camera, const std::string& path, unsigned timeoutMs, std::vector<CardEntry>& entries);

// Fetches the picture at the full path `path` into `bytes`. False when the
// call failed; the reason is the library's last error.
bool FetchCardPicture(int camera, const std::string& path, unsigned timeoutMs, std::vector<char>& bytes);

// Deletes the picture at the full path `path`.
bool DeleteCardPicture(int camera, const std::string& path, unsigned timeoutMs);

}  // namespace vktcli

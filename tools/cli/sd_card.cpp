#include "sd_card.h"

#include <algorithm>
#include <cstring>

#include "VKTNetSDK11.h"
#include "format.h"
#include "sd_paths.h"

namespace vktcli {

bool ListCardDirectory(int camera, const std::string& path, unsigned timeoutMs, std::vector<CardEntry>& entries) {
  DirectoryTree tree{};
  std::memcpy(tree.path, path.data(), std::min(path.size(), kMaxCameraPath));
  // A camera that answers "no tree" leaves these as they are: no entries.
  tree.count = 0;
  tree.entries = nullptr;
  if (VKT_GetDirectoryTree(camera, &tree, timeoutMs) != 0) return false;
  entries.clear();
  if (tree.entries == nullptr || tree.count <= 0) return true;
  entries.reserve(static_cast<std::size_t>(tree.count));
  for (int i = 0; i < tree.count; ++i) {
    const DirectoryEntry& entry = tree.entries[i];
    entries.push_back({std::string(FieldText(entry.name)), entry.value});
  }
  return true;
}

bool FetchCardPicture(int camera, const std::string& path, unsigned timeoutMs, std::vector<char>& bytes) {
  const DirectoryEntry name = PictureNameBlock(path);
  char* picture = nullptr;
  int length = 0;
  if (VKT_GetJPGPic(camera, &name, &picture, &length, timeoutMs) != 0) return false;
  if (picture == nullptr || length <= 0) {
    bytes.clear();
  } else {
    bytes.assign(picture, picture + length);
  }
  return true;
}

bool DeleteCardPicture(int camera, const std::string& path, unsigned timeoutMs) {
  const DeleteBlock block = PictureDeleteBlock(path);
  return VKT_DeleteJPGPic(camera, block.data(), timeoutMs) == 0;
}

}  // namespace vktcli

#include "sd_paths.h"

#include <algorithm>
#include <cstring>

#include "VKTNetSDK11.h"
#include "format.h"

namespace vktcli {

std::string NormalCameraPath(std::string_view path, std::string& error) {
  if (!path.starts_with('/')) {
    error = "a card path starts with '/', not " + Quoted(path);
    return {};
  }
  if (path.find('\0') != std::string_view::npos) {
    error = "a card path holds no NUL byte";
    return {};
  }
  while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
  if (path.size() > kMaxCameraPath) {
    error = "a card path has at most " + std::to_string(kMaxCameraPath) + " bytes, not " +
            std::to_string(path.size());
    return {};
  }
  return std::string(path);
}

std::string JoinCameraPath(std::string_view directory, std::string_view name) {
  while (directory.ends_with('/')) directory.remove_suffix(1);
  return std::string(directory) + "/" + std::string(name);
}

std::string_view BareName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

DirectoryEntry PictureNameBlock(std::string_view path) {
  DirectoryEntry block{};
  std::memcpy(block.name, path.data(), std::min(path.size(), kMaxCameraPath));
  return block;
}

DeleteBlock PictureDeleteBlock(std::string_view path) {
  DeleteBlock block{};
  std::memcpy(block.data(), path.data(), std::min(path.size(), kMaxCameraPath));
  return block;
}

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

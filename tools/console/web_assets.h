// The page's files, compiled into the program (page_assets.cpp is made by
// CMake from tools/console/page).
#pragma once

#include <span>
#include <string_view>

namespace vktconsole {

struct WebAsset {
  std::string_view path;          // "/" for index.html, "/console.js", ...
  std::string_view contentType;
  std::string_view body;
};

std::span<const WebAsset> PageAssets();

// nullptr when no file of the page has this path.
const WebAsset* FindPageAsset(std::string_view path);

}  // namespace vktconsole

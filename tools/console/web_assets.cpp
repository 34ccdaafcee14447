#include "web_assets.h"

namespace vktconsole {

const WebAsset* FindPageAsset(std::string_view path) {
  for (const WebAsset& asset : PageAssets()) {
    if (asset.path == path) return &asset;
  }
  return nullptr;
}

}  // namespace vktconsole

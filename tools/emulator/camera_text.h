// Cameras described as text, for the command line and config files:
//   ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30000,name=gate 1
// Keys: ip (or address), mac, model, port, name (infoText2), fw (infoText1),
// mask and gateway (dotted; sent as addressWord1/addressWord2). Keys left out
// keep CameraConfig's defaults. Values cannot contain commas.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator.h"

namespace vktemu {

bool parseCameraText(std::string_view text, CameraConfig& camera, std::string* error);

// One camera per line; blank lines and text after '#' are ignored.
bool loadCameraFile(const std::string& path, std::vector<CameraConfig>& cameras, std::string* error);

std::optional<Mac> parseMac(std::string_view text);  // "00:1c:27:00:00:10" (or '-' separated)
std::string formatMac(const Mac& mac);

}  // namespace vktemu

// What a camera leaves the factory with: a recognisable value or record for
// every setting in the table, each different from the others, so a client
// that reads the wrong setting or the wrong bytes is caught.
#pragma once

#include <cstdint>
#include <vector>

#include "emulator.h"
#include "settings_model.h"
#include "wire.h"

namespace vktemu {

SettingValues factorySettings(const CameraConfig& config);

// The network record (1016): the camera's own address, then the two address
// words, all as they go on the wire.
std::vector<uint8_t> networkRecord(const wire::Ipv4& address, uint32_t word1, uint32_t word2);

}  // namespace vktemu

// A datagram received on the discovery port, as any host on the LAN may
// send it, parsed as a camera's answer.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "discovery/discovery_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes: a read past the datagram is caught.
  auto* datagram = new uint8_t[size];
  if (size != 0) std::memcpy(datagram, data, size);
  DeviceRecord record;
  std::memset(&record, 0xA5, sizeof record);
  const bool taken = vkt::discovery::ParseAnswer(datagram, size, record);
  if (taken) {
    // An accepted answer is exactly the answer's size and carries its
    // keyword, and the address comes from its place in the datagram.
    if (size != vkt::discovery::kAnswerSize) __builtin_trap();
    if (std::memcmp(&record.ipAddress, datagram + vkt::discovery::kAnswerAddress, 4) != 0) __builtin_trap();
    if (record.filler[0] != 0 || record.filler[1] != 0) __builtin_trap();
  } else {
    // A refused datagram leaves the record untouched.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) {
      if (bytes[i] != 0xA5) __builtin_trap();
    }
  }
  delete[] datagram;
  return 0;
}

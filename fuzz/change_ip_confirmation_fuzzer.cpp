// A datagram received while waiting for an address change to be
// confirmed. The first 20 bytes of the input are the requested change
// (ChangeIPParam), the rest is the datagram.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "discovery/discovery_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ChangeIPParam param{};
  const size_t taken = size < sizeof param ? size : sizeof param;
  std::memcpy(&param, data, taken);
  const vkt::discovery::ChangeIpRequest request = vkt::discovery::BuildChangeIpRequest(param);

  const size_t length = size - taken;
  auto* datagram = new uint8_t[length];
  if (length != 0) std::memcpy(datagram, data + taken, length);
  const bool confirmed = vkt::discovery::IsConfirmation(datagram, length, request);
  // A confirmation is the request itself, byte for byte, and nothing else.
  const bool same = length == request.size() && std::memcmp(datagram, request.data(), length) == 0;
  if (confirmed != same) __builtin_trap();
  // The request echoed back is always taken.
  if (!vkt::discovery::IsConfirmation(request.data(), request.size(), request)) __builtin_trap();
  delete[] datagram;
  return 0;
}

// Turning DeviceRecords into text: the human table and the JSON array of
// "vktcli search", and the small MAC/IP/text helpers behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "VKTNetSDK11.h"

namespace vktcli {

// "00:1c:27:00:00:10"
std::string FormatMac(std::span<const std::uint8_t, 6> mac);

// A record word in network byte order as a dotted quad.
std::string FormatIPv4(std::uint32_t networkOrderWord);

// Whether a camera given this address (network byte order) can still be
// reached to undo it: not 0.x.x.x, multicast or broadcast.
bool IsUnicastAddress(std::uint32_t networkOrderWord);

// The TCP command port: the low 16 bits of DeviceRecord::commandPort.
unsigned CommandPort(const DeviceRecord& record);

// A fixed-size camera text: up to the first NUL, at most `size` bytes.
// Cameras do not always terminate a text that fills its field.
std::string_view FieldText(const char* field, std::size_t size);

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return FieldText(field, N);
}

// `number` with `decimals` digits after the point: "10.0".
std::string FormatFixed(double number, int decimals);

// "10.0 pictures/s; 0.46 MB/s": `count` of `what` and `bytes` over
// `seconds`. MB are 10^6 bytes, as network rates are usually given; rates
// over no time (a stop right at the start) read 0, not inf.
std::string RatesText(std::uint64_t count, std::string_view what, std::uint64_t bytes, double seconds);

// Lower-case hex, two digits per byte.
std::string FormatHex(std::span<const std::uint8_t> bytes);

// One line per row, the cells in columns two blanks apart, each as wide as
// its widest cell; no line ends in blanks.
std::string AlignedColumns(const std::vector<std::vector<std::string>>& rows);

// For the terminal: every byte that is not printable ASCII becomes '?'.
std::string Printable(std::string_view text);

// 'text', made printable: how messages show a word the user or a camera gave.
std::string Quoted(std::string_view text);

// The aligned table of "vktcli search", one line per camera, header first.
// Empty input gives just the header. With `interfaces` (one per camera) an
// INTERFACE column shows the network interface each was found on ("-" for
// an empty name).
std::string FormatCameraTable(std::span<const DeviceRecord> cameras,
                              std::span<const std::string> interfaces = {});

// Every field of one camera's record, one "name: value" line each.
std::string FormatCameraDetails(const DeviceRecord& camera);

// A JSON array with one object per camera, "[]\n" for none. With
// `interfaces` (one per camera) each object has "interface": the name, or
// null for an empty one.
std::string FormatCameraJson(std::span<const DeviceRecord> cameras,
                             std::span<const std::string> interfaces = {});

}  // namespace vktcli

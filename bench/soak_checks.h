// What the soak run checks in every picture, frame and stored picture it
// gets, and how it reads the process's resident memory. The layouts are the
// emulator's (tools/emulator/picture_wire.h, stream_wire.h): a JPEG file
// whose APP1 segment at byte 20 holds the record from byte 32 on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "VKTNetSDK11.h"

namespace vktsoak {

// Record word 0 of a pushed picture: where it came from.
inline constexpr uint32_t kSourceSnapshot = 1;
inline constexpr uint32_t kSourceTrigger = 2;

// A pushed picture as the picture callback got it. Empty when it is whole
// and consistent, otherwise what is wrong with it. `source` receives record
// word 0 (kSourceSnapshot or kSourceTrigger).
std::string CheckPushedPicture(const uint8_t* bytes, size_t length, const PictureInfo& info, int value,
                               uint32_t& source);

// A picture taken by a camera and fetched from its SD card: the same file
// as pushed, so the same layout, of the size its listing gave.
std::string CheckStoredPicture(const uint8_t* bytes, size_t length, int32_t listedSize);

// A picture of the card's factory set: a plain JPEG file of the listed size.
std::string CheckSeedPicture(const uint8_t* bytes, size_t length, int32_t listedSize);

// A stream frame as the stream callback got it. `frameNumber` receives
// record word 8 (the camera's frame counter).
std::string CheckStreamFrame(const uint8_t* bytes, size_t length, const StreamInfo& info, uint32_t& frameNumber);

// What the process's allocator has handed out and not taken back, in KiB
// (every arena, mapped blocks included): tells growth of the data from
// growth of the allocator's free lists.
long HeapInUseKiB();

// Empty when this network namespace has no interface but loopback (as
// inside tools/netns-run), otherwise the names of the others.
std::string InterfacesBesidesLoopback();

}  // namespace vktsoak

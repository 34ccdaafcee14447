#include "soak_checks.h"

#include <malloc.h>
#include <net/if.h>

#include <cstdio>
#include <cstring>

namespace vktsoak {
namespace {

constexpr size_t kApp1 = 20;
constexpr size_t kTag = 24;
constexpr size_t kRecord = 32;
constexpr size_t kPictureRecordEnd = kRecord + 44;  // eleven words
constexpr size_t kFrameRecordEnd = kRecord + 32;    // eight words
constexpr uint16_t kPictureApp1Length = 2 + 8 + 44;
constexpr uint16_t kFrameApp1Length = 2 + 8 + 32;

uint32_t Word(const uint8_t* bytes, size_t recordOffset) {
  uint32_t w;
  std::memcpy(&w, bytes + kRecord + recordOffset, sizeof w);
  return w;
}

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

// SOI at the start, EOI at the end.
std::string CheckJpegEnds(const uint8_t* bytes, size_t length) {
  if (length < 4) return "shorter than a JPEG file (" + std::to_string(length) + " bytes)";
  if (bytes[0] != 0xFF || bytes[1] != 0xD8) return "no SOI marker at the start";
  if (bytes[length - 2] != 0xFF || bytes[length - 1] != 0xD9) return "no EOI marker at the end";
  return {};
}

// SOI, the APP1 segment at its place with this length and tag, the
// record's total length, EOI.
std::string CheckFramed(const uint8_t* bytes, size_t length, size_t recordEnd, uint16_t app1Length, const char* tag) {
  if (length < recordEnd + 2) return "too short for its record (" + std::to_string(length) + " bytes)";
  if (std::string why = CheckJpegEnds(bytes, length); !why.empty()) return why;
  if (bytes[kApp1] != 0xFF || bytes[kApp1 + 1] != 0xE1) return "no APP1 marker at byte 20";
  const uint16_t announced = static_cast<uint16_t>(bytes[kApp1 + 2] << 8 | bytes[kApp1 + 3]);
  if (announced != app1Length) return "APP1 length " + std::to_string(announced);
  if (std::memcmp(bytes + kTag, tag, 8) != 0) return "wrong record tag";
  if (Word(bytes, 4) != length) {
    return "record says " + std::to_string(Word(bytes, 4)) + " bytes, got " + std::to_string(length);
  }
  return {};
}

// Words of the record that carry a fixed high byte or'ed with the low 24
// bits of the picture's or frame's number.
std::string CheckPatternWord(const uint8_t* bytes, size_t recordOffset, uint32_t high, uint32_t number) {
  const uint32_t expected = high | (number & 0xFFFFFFu);
  const uint32_t got = Word(bytes, recordOffset);
  if (got == expected) return {};
  return "record word " + std::to_string(recordOffset) + " is " + Hex(got) + ", not " + Hex(expected);
}

std::string CheckPictureRecord(const uint8_t* bytes, size_t length) {
  if (std::string why = CheckFramed(bytes, length, kPictureRecordEnd, kPictureApp1Length, "VKTPIC\0\0");
      !why.empty()) {
    return why;
  }
  const uint32_t source = Word(bytes, 0);
  if (source != kSourceSnapshot && source != kSourceTrigger) return "record word 0 is " + Hex(source);
  const uint32_t number = Word(bytes, 8);
  if (number == 0) return "picture number 0";
  const uint32_t highs[] = {0x24000000u, 0x28000000u, 0x32000000u, 0x36000000u, 0x40000000u};
  for (size_t i = 0; i < 5; ++i) {
    if (std::string why = CheckPatternWord(bytes, 24 + 4 * i, highs[i], number); !why.empty()) return why;
  }
  return {};
}

bool PlausibleTime(const CameraTime& t) {
  return t.year >= 2000 && t.year <= 2100 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
         t.hour < 24 && t.minute < 60 && t.second < 61 && t.milliseconds < 1000;
}

}  // namespace

std::string CheckPushedPicture(const uint8_t* bytes, size_t length, const PictureInfo& info, int value,
                               uint32_t& source) {
  source = 0;
  if (bytes == nullptr) return "null picture";
  if (std::string why = CheckPictureRecord(bytes, length); !why.empty()) return why;
  source = Word(bytes, 0);
  if (static_cast<uint32_t>(info.recordWord8) != Word(bytes, 8)) return "info word 8 differs from the record";
  if (static_cast<uint32_t>(value) != Word(bytes, 12)) return "callback value differs from record word 12";
  if (static_cast<uint32_t>(info.recordWord24) != Word(bytes, 24) ||
      static_cast<uint32_t>(info.recordWord28) != Word(bytes, 28) ||
      static_cast<uint32_t>(info.recordWord32) != Word(bytes, 32) ||
      static_cast<uint32_t>(info.recordWord36) != Word(bytes, 36) ||
      static_cast<uint32_t>(info.recordWord40) != Word(bytes, 40)) {
    return "info words 24..40 differ from the record";
  }
  if (!PlausibleTime(info.time)) return "implausible camera time";
  if (source == kSourceTrigger && value < 1) return "trigger number " + std::to_string(value);
  return {};
}

std::string CheckStoredPicture(const uint8_t* bytes, size_t length, int32_t listedSize) {
  if (bytes == nullptr) return "null picture";
  if (listedSize < 0 || length != static_cast<size_t>(listedSize)) {
    return "fetched " + std::to_string(length) + " bytes, listed " + std::to_string(listedSize);
  }
  return CheckPictureRecord(bytes, length);
}

std::string CheckSeedPicture(const uint8_t* bytes, size_t length, int32_t listedSize) {
  if (bytes == nullptr) return "null picture";
  if (listedSize < 0 || length != static_cast<size_t>(listedSize)) {
    return "fetched " + std::to_string(length) + " bytes, listed " + std::to_string(listedSize);
  }
  return CheckJpegEnds(bytes, length);
}

std::string CheckStreamFrame(const uint8_t* bytes, size_t length, const StreamInfo& info, uint32_t& frameNumber) {
  frameNumber = 0;
  if (bytes == nullptr) return "null frame";
  if (std::string why = CheckFramed(bytes, length, kFrameRecordEnd, kFrameApp1Length, "VKTSTR\0\0"); !why.empty()) {
    return why;
  }
  const uint32_t number = Word(bytes, 8);
  if (number == 0) return "frame number 0";
  if (std::string why = CheckPatternWord(bytes, 0, 0x10000000u, number); !why.empty()) return why;
  const uint32_t highs[] = {0x20000000u, 0x24000000u, 0x28000000u};
  for (size_t i = 0; i < 3; ++i) {
    if (std::string why = CheckPatternWord(bytes, 20 + 4 * i, highs[i], number); !why.empty()) return why;
  }
  if (static_cast<uint32_t>(info.recordWord8) != number) return "info word 8 differs from the record";
  if (static_cast<uint32_t>(info.recordWord28) != Word(bytes, 28)) return "info word 28 differs from the record";
  if (!PlausibleTime(info.time)) return "implausible camera time";
  frameNumber = number;
  return {};
}

long HeapInUseKiB() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<long>((m.uordblks + m.hblkhd) / 1024);
}

std::string InterfacesBesidesLoopback() {
  std::string others;
  struct if_nameindex* names = if_nameindex();
  if (names == nullptr) return "(the interface list cannot be read)";
  for (struct if_nameindex* i = names; i->if_index != 0 && i->if_name != nullptr; ++i) {
    if (std::strcmp(i->if_name, "lo") == 0) continue;
    if (!others.empty()) others += ", ";
    others += i->if_name;
  }
  if_freenameindex(names);
  return others;
}

}  // namespace vktsoak

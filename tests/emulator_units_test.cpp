// Unit tests of the emulator's pure functions: the byte layouts it puts on
// the wire (discovery, command headers, temperature, pictures, stream
// frames and datagrams), its camera descriptions, fault settings and the
// settings model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "camera_text.h"
#include "command_wire.h"
#include "control_text.h"
#include "emulator.h"
#include "picture_wire.h"
#include "setting_table.h"
#include "settings_model.h"
#include "stream_plan.h"
#include "wire.h"

namespace vktemu {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Le32(std::span<const uint8_t> bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void Put(std::span<uint8_t> out, size_t at, std::initializer_list<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

void PutText(std::span<uint8_t> out, size_t at, std::string_view text) {
  std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// Follows the segment chain from after SOI over APPn and COM segments: where
// it stops is where the JPEG's tables begin.
size_t SkipHeaderSegments(std::span<const uint8_t> jpeg) {
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF &&
         ((jpeg[at + 1] >= 0xE0 && jpeg[at + 1] <= 0xEF) || jpeg[at + 1] == 0xFE)) {
    at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
  }
  return at;
}

const Bytes kBody = {0xFF, 0xDB, 0x00, 0x04, 0x11, 0x22, 0xFF, 0xD9};

// -------------------------------------------------------------- discovery

TEST(EmulatorUnitsDiscovery, AnswerLayout) {
  CameraConfig camera;
  std::string error;
  ASSERT_TRUE(parseCameraText("ip=192.168.7.9, mac=00-1C-27-AA-BB-CC, model=VKT-N2F0Kp, port=8080, name=gate 1,"
                              "fw=v2, mask=255.255.255.0, gateway=192.168.7.1",
                              camera, &error))
      << error;
  camera.infoWords = {1, 0, 0, 0, 0, -2};
  camera.infoBlock[0] = 0xA5;
  camera.infoBlock[63] = 0x5A;
  camera.tailWord1 = 0x01020304;
  camera.tailWord2 = -1;

  std::array<uint8_t, 396> expected{};
  PutText(expected, 0, "IPNC_AnswerInfo=");
  Put(expected, 16, {192, 168, 7, 9, 255, 255, 255, 0, 192, 168, 7, 1, 0x00, 0x1C, 0x27, 0xAA, 0xBB, 0xCC});
  PutText(expected, 34, "VKT-N2F0Kp");
  PutText(expected, 66, "v2");
  PutText(expected, 98, "gate 1");
  Put(expected, 200, {0x90, 0x1F, 0, 0, 1, 0, 0, 0});
  Put(expected, 224, {0xFE, 0xFF, 0xFF, 0xFF, 0xA5});
  Put(expected, 291, {0x5A});
  Put(expected, 388, {4, 3, 2, 1, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(buildDiscoveryAnswer(camera), expected);

  // Texts that fill their 32-byte slot are cut there, not spilled into the next.
  camera.model = std::string(40, 'M');
  camera.infoText1 = std::string(32, 'F');
  camera.infoText2 = std::string(33, 'N');
  camera.address = "not an address";
  const auto answer = buildDiscoveryAnswer(camera);
  EXPECT_EQ(std::string(answer.begin() + 34, answer.begin() + 66), std::string(32, 'M'));
  EXPECT_EQ(std::string(answer.begin() + 66, answer.begin() + 98), std::string(32, 'F'));
  EXPECT_EQ(std::string(answer.begin() + 98, answer.begin() + 131), std::string(32, 'N') + '\0');
  EXPECT_EQ(Le32(answer, 16), 0u);
}

TEST(EmulatorUnitsDiscovery, ProbeAndChangeIp) {
  const Bytes probe(wire::kProbe.begin(), wire::kProbe.end());
  EXPECT_TRUE(wire::isProbe(probe));
  Bytes longer = probe;
  longer.push_back(0);
  EXPECT_FALSE(wire::isProbe(longer));
  EXPECT_FALSE(wire::isProbe(std::span(probe).first(25)));
  EXPECT_FALSE(wire::isProbe({}));

  Bytes request(44, 0);
  PutText(request, 0, "oKrimu_IPNC_Change_IP");
  Put(request, 24, {10, 0, 0, 7, 255, 255, 0, 0, 10, 0, 0, 1, 0, 0x1c, 0x27, 0, 0, 0x11, 0xEE, 0xEE});
  const auto parsed = wire::parseChangeIp(request);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->address, (wire::Ipv4{10, 0, 0, 7}));
  EXPECT_EQ(wire::formatIpv4(parsed->address), "10.0.0.7");
  EXPECT_EQ(std::memcmp(&parsed->word1, "\xFF\xFF\x00\x00", 4), 0);  // raw wire bytes
  EXPECT_EQ(std::memcmp(&parsed->word2, "\x0A\x00\x00\x01", 4), 0);
  EXPECT_EQ(parsed->mac, (Mac{0, 0x1c, 0x27, 0, 0, 0x11}));
  request.push_back(0);
  EXPECT_FALSE(wire::parseChangeIp(request));
  request.resize(43);
  EXPECT_FALSE(wire::parseChangeIp(request));
  request.resize(44);
  request[0] = 'O';
  EXPECT_FALSE(wire::parseChangeIp(request));

  for (const char* bad : {"", "1.2.3", "256.1.1.1", "1.2.3.4.5", "a.b.c.d", " 1.2.3.4"}) {
    EXPECT_FALSE(wire::parseIpv4(bad)) << bad;
  }
  for (const char* text : {"0.0.0.0", "255.255.255.255", "127.0.0.10"}) {
    EXPECT_EQ(wire::formatIpv4(*wire::parseIpv4(text)), text);
  }
}

// ---------------------------------------------------------------- command

TEST(EmulatorUnitsCommand, HeaderAndTargetLayouts) {
  const wire::CommandHeader header{257, 0, 1016, -5, -3, 3, std::numeric_limits<int32_t>::min()};
  const Bytes payload = {1, 2, 3};
  const Bytes bytes = wire::encodeCommand(header, payload);
  Bytes expected = {1, 1, 0, 0, 0, 0, 0, 0, 0xF8, 3, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF,
                    0xFD, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 0, 0, 0, 0x80, 1, 2, 3};
  EXPECT_EQ(bytes, expected);
  const wire::CommandHeader back = wire::decodeCommandHeader(bytes);
  EXPECT_EQ(std::vector<int64_t>({back.version, back.reserved, back.command, back.sequence, back.status, back.length,
                                  back.value}),
            std::vector<int64_t>({257, 0, 1016, -5, -3, 3, std::numeric_limits<int32_t>::min()}));
  EXPECT_EQ(wire::encodeCommand(back), Bytes(bytes.begin(), bytes.begin() + 28));
  EXPECT_EQ(wire::wrappingAdd(std::numeric_limits<int32_t>::max(), 1), std::numeric_limits<int32_t>::min());

  const Bytes target = {127, 0, 0, 1, 0x1F, 0x90, 0x01, 0x02};
  const auto parsed = wire::parseTargetPayload(target);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(std::memcmp(&parsed->address, target.data(), 4), 0);  // network order, as s_addr
  EXPECT_EQ(parsed->port, 8080);   // big-endian on the wire
  EXPECT_EQ(parsed->flag, 0x0201);  // little-endian on the wire
  EXPECT_FALSE(wire::parseTargetPayload(std::span(target).first(7)));
  EXPECT_FALSE(wire::parseTargetPayload(Bytes(9, 0)));
}

TEST(EmulatorUnitsCommand, TemperatureWord) {
  const std::pair<double, int32_t> cases[] = {
      {36.5, 0x2480}, {0, 0},          {-0.01, 0},      {0.125, 0x20},  {-0.125, 0x8020}, {0.1, 0x20},
      {-40, 0xA800},  {127.875, 0x7FE0}, {500, 0x7FE0}, {-500, 0xFFE0}, {-127.875, 0xFFE0},
      {INFINITY, 0x7FE0}, {-INFINITY, 0xFFE0}, {NAN, 0}};
  for (const auto& [degrees, word] : cases) EXPECT_EQ(encodeTemperature(degrees), word) << degrees;
  for (double degrees = -130; degrees <= 130; degrees += 0.37) {
    const int32_t word = encodeTemperature(degrees);
    EXPECT_EQ(word & ~0xFFE0, 0) << degrees;  // bits 0..4 and above 15 stay clear
    const double decoded = ((word >> 5) & 0x3FF) * 0.125 * ((word & 0x8000) ? -1 : 1);
    EXPECT_LE(std::fabs(decoded - std::clamp(degrees, -127.875, 127.875)), 0.0625 + 1e-9) << degrees;
  }
}

// ---------------------------------------------------------------- picture

TEST(EmulatorUnitsPicture, Layout) {
  // Word 1 is the picture's size, whatever the record holds there.
  const wire::PictureRecord record{1, 0xDEAD, 2, 3, 0xFFFFFFFC, 999999, 5, 6, 7, 8, 0xFFFFFFFF};
  const Bytes picture = wire::assemblePicture(kBody, record, {});
  ASSERT_EQ(picture.size(), 76 + kBody.size());
  EXPECT_TRUE(std::equal(wire::kJfifHeader.begin(), wire::kJfifHeader.end(), picture.begin()));
  EXPECT_EQ(Bytes(picture.begin() + 20, picture.begin() + 32),
            (Bytes{0xFF, 0xE1, 0, 54, 'V', 'K', 'T', 'P', 'I', 'C', 0, 0}));
  const uint32_t words[] = {1, static_cast<uint32_t>(picture.size()), 2, 3, 0xFFFFFFFC, 999999, 5, 6, 7, 8, 0xFFFFFFFF};
  for (size_t i = 0; i < 11; ++i) EXPECT_EQ(Le32(picture, 32 + 4 * i), words[i]) << i;
  EXPECT_EQ(Bytes(picture.end() - 8, picture.end()), kBody);
  EXPECT_EQ(Bytes(wire::jpegBody(picture).begin(), wire::jpegBody(picture).end()), kBody);
}

TEST(EmulatorUnitsPicture, Shapes) {
  wire::PictureShape shape;
  shape.app1Length = 100;  // longer: zero filler, still one valid segment chain
  Bytes picture = wire::assemblePicture(kBody, {}, shape);
  EXPECT_EQ(picture[22] << 8 | picture[23], 100);
  EXPECT_EQ(SkipHeaderSegments(picture), 122u);
  EXPECT_TRUE(std::all_of(picture.begin() + 76, picture.begin() + 122, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(Le32(picture, 36), picture.size());

  shape.app1Length = 46;  // shorter: a lie, the whole record still follows
  shape.badMarker = true;
  shape.totalLength = 7;
  picture = wire::assemblePicture(kBody, {}, shape);
  EXPECT_EQ(Bytes(picture.begin() + 20, picture.begin() + 24), (Bytes{0xFF, 0xE2, 0, 46}));
  EXPECT_EQ(picture.size(), 76 + kBody.size());
  EXPECT_EQ(Le32(picture, 36), 7u);

  for (size_t padTo : {size_t{0}, size_t{85}, size_t{86}, size_t{5000}, size_t{65613}, size_t{65622},
                       size_t{65624}, size_t{200000}}) {
    shape = {};
    shape.padTo = padTo;
    picture = wire::assemblePicture(kBody, {}, shape);
    EXPECT_GE(picture.size(), padTo);
    if (padTo >= 76 + kBody.size() + 4) {
      EXPECT_EQ(picture.size(), padTo);
    }
    EXPECT_EQ(SkipHeaderSegments(picture), picture.size() - kBody.size()) << padTo;
    EXPECT_EQ(Le32(picture, 36), picture.size());
  }

  Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 9, 9, 0xFF, 0xEE, 0, 3, 9, 0xFF, 0xEF, 0, 2};  // SOI, APP0, APP14, APP15
  jpeg.insert(jpeg.end(), kBody.begin(), kBody.end());
  EXPECT_EQ(Bytes(wire::jpegBody(jpeg).begin(), wire::jpegBody(jpeg).end()), kBody);
  EXPECT_TRUE(wire::jpegBody(kBody).empty());                       // no SOI
  EXPECT_TRUE(wire::jpegBody(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0}).empty());  // segment past the end
  EXPECT_TRUE(wire::jpegBody(Bytes{0xFF}).empty());
}

// ----------------------------------------------------------------- stream

TEST(EmulatorUnitsStream, FrameLayout) {
  const wire::StreamRecord record{0x10000001, 0xDEAD, 7, 0xFFFFFFFF, 500000, 0x20000001, 0x24000001, 0x28000001};
  Bytes frame = wire::assembleFrame(kBody, record, std::nullopt, 0);
  ASSERT_EQ(frame.size(), 64 + kBody.size());
  EXPECT_EQ(Bytes(frame.begin() + 20, frame.begin() + 32),
            (Bytes{0xFF, 0xE1, 0, 42, 'V', 'K', 'T', 'S', 'T', 'R', 0, 0}));
  const uint32_t words[] = {0x10000001, static_cast<uint32_t>(frame.size()), 7, 0xFFFFFFFF, 500000,
                            0x20000001, 0x24000001, 0x28000001};
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(Le32(frame, 32 + 4 * i), words[i]) << i;
  EXPECT_EQ(Bytes(wire::jpegBody(frame).begin(), wire::jpegBody(frame).end()), kBody);

  frame = wire::assembleFrame(kBody, record, 123u, 3000);
  EXPECT_EQ(frame.size(), 3000u);
  EXPECT_EQ(Le32(frame, 36), 123u);
  EXPECT_EQ(SkipHeaderSegments(frame), frame.size() - kBody.size());
}

TEST(EmulatorUnitsStream, Datagrams) {
  EXPECT_EQ(wire::streamPacketCount(0), 1u);
  EXPECT_EQ(wire::streamPacketCount(1020), 1u);
  EXPECT_EQ(wire::streamPacketCount(1021), 2u);
  EXPECT_EQ(wire::streamPacketCount(2040), 2u);
  EXPECT_EQ(wire::streamPacketCount(2041), 3u);

  Bytes frame(2500);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + i / 256);
  Bytes joined;
  for (uint32_t index = 0; index < wire::streamPacketCount(frame.size()); ++index) {
    const Bytes packet = wire::streamPacket(frame, index);
    ASSERT_EQ(packet.size(), 1024u);
    EXPECT_EQ(Le32(packet, 0), index);
    joined.insert(joined.end(), packet.begin() + 4, packet.end());
  }
  EXPECT_EQ(Bytes(joined.begin(), joined.begin() + 2500), frame);
  EXPECT_TRUE(std::all_of(joined.begin() + 2500, joined.end(), [](uint8_t b) { return b == 0; }));
  for (uint32_t index : {3u, 0xFFFFFFFFu}) {  // past the frame: the index, then zeros
    const Bytes packet = wire::streamPacket(frame, index);
    EXPECT_EQ(Le32(packet, 0), index);
    EXPECT_TRUE(std::all_of(packet.begin() + 4, packet.end(), [](uint8_t b) { return b == 0; }));
  }
  EXPECT_EQ(wire::streamPacket({}, 0), Bytes(1024, 0));
}

std::vector<uint32_t> Packets(const std::vector<PlannedDatagram>& plan) {
  std::vector<uint32_t> packets;
  for (const auto& datagram : plan) {
    if (datagram.junk.empty()) packets.push_back(datagram.packet);
  }
  return packets;
}

TEST(EmulatorUnitsStream, FramePlans) {
  StreamRandom random(1);
  const Bytes five(5 * 1020, 1), six(6 * 1020, 1);
  StreamFaults faults;
  EXPECT_EQ(Packets(planFrame(five, faults, random)), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  faults.reorder = true;
  EXPECT_EQ(Packets(planFrame(six, faults, random)), (std::vector<uint32_t>{0, 2, 1, 4, 3, 5}));
  EXPECT_EQ(Packets(planFrame(five, faults, random)), (std::vector<uint32_t>{0, 2, 1, 3, 4}));
  faults = {};
  faults.duplicateRate = 1;
  EXPECT_EQ(Packets(planFrame(Bytes(2000), faults, random)), (std::vector<uint32_t>{0, 0, 1, 1}));
  faults.lossRate = 1;
  EXPECT_TRUE(planFrame(five, faults, random).empty());

  faults = {};
  faults.lossRate = 0.5;
  const Bytes big(200 * 1020);
  StreamRandom a(42), b(42);
  const auto kept = Packets(planFrame(big, faults, a));
  EXPECT_EQ(kept, Packets(planFrame(big, faults, b)));  // a seed repeats exactly
  EXPECT_GT(kept.size(), 50u);
  EXPECT_LT(kept.size(), 150u);

  faults = {};
  faults.foreignDatagrams = true;
  const auto plan = planFrame(five, faults, random);
  ASSERT_FALSE(plan.empty());
  EXPECT_EQ(plan.front().route, StreamRoute::kForeign);
  ASSERT_EQ(plan.front().junk.size(), 1024u);
  EXPECT_EQ(Le32(plan.front().junk, 0), 0u);
  EXPECT_NE(Le32(plan.front().junk, 4 + 32 + 4), five.size());
  std::map<size_t, int> junkSizes;
  for (const auto& datagram : plan) {
    if (!datagram.junk.empty()) {
      ++junkSizes[datagram.junk.size()];
    } else {
      EXPECT_EQ(datagram.route, datagram.packet % 2 ? StreamRoute::kCameraOtherPort : StreamRoute::kCamera);
    }
  }
  EXPECT_EQ(junkSizes, (std::map<size_t, int>{{1023, 2}, {1024, 1}, {1025, 2}}));
  EXPECT_EQ(Packets(plan), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
}

// Junk around every frame: a frame of one datagram gets its 1025-byte junk too.
TEST(EmulatorUnitsStream, ForeignDatagramsAroundSingleDatagramFrame) {
  StreamRandom random(1);
  StreamFaults faults;
  faults.foreignDatagrams = true;
  std::map<size_t, int> junkSizes;
  for (const auto& datagram : planFrame(Bytes(500), faults, random)) {
    if (!datagram.junk.empty()) ++junkSizes[datagram.junk.size()];
  }
  EXPECT_EQ(junkSizes, (std::map<size_t, int>{{1023, 2}, {1024, 1}, {1025, 2}}));
}

// ------------------------------------------------------------ camera text

TEST(EmulatorUnitsCameraText, ParsesAndRefuses) {
  CameraConfig camera;
  std::string error;
  ASSERT_TRUE(parseCameraText(" address = 127.0.0.20 ,, port=65535,name=a=b ,", camera, &error)) << error;
  EXPECT_EQ(camera.address, "127.0.0.20");
  EXPECT_EQ(camera.commandPort, 65535);
  EXPECT_EQ(camera.infoText2, "a=b");
  EXPECT_EQ(camera.model, CameraConfig{}.model);  // keys left out keep their defaults

  for (const char* bad : {"ip=1.2.3", "ip=", "mac=00:1c:27:00:00", "mac=00:1c:27:00:00:100", "mac=00:1c:27:00:00:1g",
                          "port=0", "port=65536", "port=-1", "port=+1", "port=80x", "port=", "color=red",
                          "justtext", "mask=255.255.255", "gateway=x", "=1"}) {
    CameraConfig untouched = camera;
    error.clear();
    EXPECT_FALSE(parseCameraText(std::string("model=X,") + bad, untouched, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_EQ(untouched.model, camera.model) << bad;  // nothing applied on failure
  }

  const Mac mac{0x00, 0x1C, 0x27, 0xAB, 0xFF, 0x10};
  EXPECT_EQ(formatMac(mac), "00:1c:27:ab:ff:10");
  EXPECT_EQ(parseMac(formatMac(mac)), mac);
  EXPECT_EQ(parseMac("00-1C-27-AB-FF-10"), mac);
  for (const char* bad :
       {"", "00:1c:27:ab:ff", "00:1c:27:ab:ff:10:", "00:1c:27:ab:ff:1", "001c27abff10", "+0:1c:27:ab:ff:10"}) {
    EXPECT_FALSE(parseMac(bad)) << bad;
  }

  const std::string path = ::testing::TempDir() + "emulator_units_cameras.txt";
  std::ofstream(path) << "# two cameras\n\nip=127.0.0.30 # first\n  ip=127.0.0.31,port=30001\n";
  std::vector<CameraConfig> cameras;
  ASSERT_TRUE(loadCameraFile(path, cameras, &error)) << error;
  ASSERT_EQ(cameras.size(), 2u);
  EXPECT_EQ(cameras[1].commandPort, 30001);
  std::ofstream(path) << "ip=127.0.0.30\n\nport=0\n";
  EXPECT_FALSE(loadCameraFile(path, cameras, &error));
  EXPECT_NE(error.find(path + ":3:"), std::string::npos) << error;
  EXPECT_FALSE(loadCameraFile(path + ".missing", cameras, &error));
  std::remove(path.c_str());
}

// ------------------------------------------------------ faults and settings

TEST(EmulatorUnitsFaultText, RangesAndNone) {
  CommandFaults command;
  std::string error;
  EXPECT_TRUE(setFault(command, "delayMs", "3600000", &error));
  EXPECT_FALSE(setFault(command, "delayMs", "3600001", &error));
  EXPECT_EQ(command.delayMs, 3600000);
  EXPECT_TRUE(setFault(command, "status", "-2147483648", &error));
  EXPECT_EQ(command.status, std::numeric_limits<int32_t>::min());
  EXPECT_TRUE(setFault(command, "status", "none", &error));
  EXPECT_FALSE(command.status);
  EXPECT_TRUE(setFault(command, "closeAfterBytes", "-1", &error));
  EXPECT_FALSE(setFault(command, "closeAfterBytes", "-2", &error));
  EXPECT_TRUE(setFault(command, "noReply", "on", &error));
  EXPECT_FALSE(setFault(command, "noReply", "maybe", &error));
  EXPECT_EQ(error, "bad value maybe for noReply");
  EXPECT_TRUE(command.noReply);
  EXPECT_FALSE(setFault(command, "noSuchFault", "1", &error));
  EXPECT_EQ(error, "unknown command fault noSuchFault");

  StreamFaults stream;
  EXPECT_TRUE(setFault(stream, "lossRate", "0.25", &error));
  for (const char* bad : {"nan", "-0.1", "1.01", "inf", "0.5x", ""}) {
    EXPECT_FALSE(setFault(stream, "lossRate", bad, &error)) << bad;
  }
  EXPECT_EQ(stream.lossRate, 0.25);
  EXPECT_FALSE(setFault(stream, "totalLength", "4294967296", &error));
  EXPECT_TRUE(setFault(stream, "totalLength", "4294967295", &error));
  EXPECT_EQ(stream.totalLength, 4294967295u);
  EXPECT_FALSE(setFault(stream, "delayMs", "1", &error)) << "a command fault is not a stream fault";
  EXPECT_EQ(error, "unknown stream fault delayMs");

  PushFaults push;
  EXPECT_FALSE(setFault(push, "app1Length", "65536", &error));
  EXPECT_TRUE(setFault(push, "app1Length", "46", &error));
  EXPECT_EQ(push.app1Length, 46);
  EXPECT_TRUE(setFault(push, "stuckAfter", "0", &error));
  EXPECT_EQ(push.stuckAfter, 0u) << "zero bytes, then held, is a stuck connection too";
  EXPECT_TRUE(setFault(push, "stuckAfter", "none", &error));
  EXPECT_FALSE(push.stuckAfter);
  EXPECT_FALSE(setFault(push, "stuckAfter", "-1", &error));
  EXPECT_TRUE(setFault(push, "sendBufferBytes", "67108864", &error));
  EXPECT_FALSE(setFault(push, "sendBufferBytes", "67108865", &error));
  EXPECT_FALSE(setFault(push, "sendBufferBytes", "-1", &error));
  EXPECT_EQ(push.sendBufferBytes, 64 << 20);

  DiscoveryFaults discovery;
  EXPECT_TRUE(setFault(discovery, "answerLengthDelta", "-396", &error));
  EXPECT_FALSE(setFault(discovery, "answerLengthDelta", "-397", &error));
  EXPECT_FALSE(setFault(discovery, "answerCopies", "1001", &error));
  EXPECT_FALSE(setFault(discovery, "status", "1", &error));
  EXPECT_EQ(error, "unknown fault status");
}

// Every name lands in its own field, and nothing else changes: a table that
// sent a name to a neighbour's field would pass the range checks above.
TEST(EmulatorUnitsFaultText, HexBytes) {
  const Bytes bytes = {0x00, 0x7f, 0xab, 0xff};
  EXPECT_EQ(hex(bytes), "007fabff");
  EXPECT_EQ(parseHex("007fABff"), bytes);
  EXPECT_EQ(parseHex(""), Bytes{});
  for (const char* bad : {"0", "0g", "g0", "+1", "-1", " 1", "0x", "abc"}) EXPECT_FALSE(parseHex(bad)) << bad;
}

TEST(EmulatorUnitsFaultText, EachNameSetsItsField) {
  std::string error;
  auto set = [&](auto faults, std::string_view name, std::string_view value) {
    EXPECT_TRUE(setFault(faults, name, value, &error)) << name << ": " << error;
    return faults;
  };
  const DiscoveryFaults d = set(set(set(set(set(set(set(set(DiscoveryFaults{}, "silent", "1"), "answerDelayMs", "11"),
                                                    "answerCopies", "12"), "answerLengthDelta", "-13"),
                                            "badKeyword", "yes"), "ignoreChangeIp", "true"), "corruptEcho", "on"),
                                "echoDelayMs", "14");
  EXPECT_TRUE(d.silent && d.badKeyword && d.ignoreChangeIp && d.corruptEcho);
  EXPECT_EQ(std::vector<int>({d.answerDelayMs, d.answerCopies, d.answerLengthDelta, d.echoDelayMs}),
            std::vector<int>({11, 12, -13, 14}));
  EXPECT_EQ(showFaults(d),
            "silent=1 answerDelayMs=11 answerCopies=12 answerLengthDelta=-13 badKeyword=1 ignoreChangeIp=1 "
            "corruptEcho=1 echoDelayMs=14");
  EXPECT_EQ(showFaults(DiscoveryFaults{}),
            "silent=0 answerDelayMs=0 answerCopies=1 answerLengthDelta=0 badKeyword=0 ignoreChangeIp=0 "
            "corruptEcho=0 echoDelayMs=0");

  CommandFaults c;
  for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
           {"delayMs", "21"}, {"noReply", "1"}, {"sequenceDelta", "-22"}, {"commandDelta", "23"}, {"status", "-24"},
           {"closeAfterBytes", "25"}, {"announcedLength", "26"}, {"completionDelayMs", "27"}, {"noCompletion", "1"},
           {"completionStatus", "28"}, {"completionCommand", "29"}})
    c = set(c, name, value);
  EXPECT_EQ(std::vector<int64_t>({c.delayMs, c.sequenceDelta, c.commandDelta, *c.status, c.closeAfterBytes,
                                  *c.announcedLength, c.completionDelayMs, *c.completionStatus, *c.completionCommand}),
            std::vector<int64_t>({21, -22, 23, -24, 25, 26, 27, 28, 29}));
  EXPECT_TRUE(c.noReply && c.noCompletion);

  PushFaults p;
  for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
           {"chunkBytes", "31"}, {"chunkDelayMs", "32"}, {"badMarker", "1"}, {"app1Length", "33"},
           {"totalLength", "34"}, {"sendBytes", "35"}, {"padTo", "36"}, {"holdOpen", "1"}, {"stuckAfter", "37"},
           {"sendBufferBytes", "38"}})
    p = set(p, name, value);
  EXPECT_EQ(std::vector<int64_t>({static_cast<int64_t>(p.chunkBytes), p.chunkDelayMs, *p.app1Length, *p.totalLength,
                                  static_cast<int64_t>(*p.sendBytes), static_cast<int64_t>(p.padTo),
                                  static_cast<int64_t>(*p.stuckAfter), p.sendBufferBytes}),
            std::vector<int64_t>({31, 32, 33, 34, 35, 36, 37, 38}));
  EXPECT_TRUE(p.badMarker && p.holdOpen);

  const StreamFaults s = set(set(set(set(set(set(StreamFaults{}, "lossRate", "0.5"), "duplicateRate", "0.25"), "seed",
                                         "18446744073709551615"), "reorder", "1"), "foreignDatagrams", "1"),
                             "totalLength", "41");
  EXPECT_EQ(s.lossRate, 0.5);
  EXPECT_EQ(s.duplicateRate, 0.25);
  EXPECT_EQ(s.seed, std::numeric_limits<uint64_t>::max());
  EXPECT_TRUE(s.reorder && s.foreignDatagrams);
  EXPECT_EQ(s.totalLength, 41u);
}

TEST(EmulatorUnitsSettings, ModelKeepsFactoryAndCurrent) {
  CameraConfig camera;
  camera.address = "192.168.7.9";
  SettingsModel model(factorySettings(camera));
  EXPECT_EQ(*model.record(wire::command::kNetwork), (Bytes{192, 168, 7, 9, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(model.value(wire::command::kTemperature), encodeTemperature(36.5));
  EXPECT_FALSE(model.value(1044));       // a record, not a value
  EXPECT_EQ(model.record(704), nullptr);  // a value, not a record

  ASSERT_TRUE(model.setValue(704, 0));
  EXPECT_FALSE(model.setValue(99999, 1));
  const Bytes ae = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(model.setRecord(1044, ae));
  EXPECT_FALSE(model.setRecord(1044, Bytes(7, 0)));
  EXPECT_FALSE(model.setRecord(1044, Bytes(9, 0)));
  EXPECT_EQ(*model.record(1044), ae);
  EXPECT_NE(*model.factoryRecord(1044), ae);
  EXPECT_EQ(model.factoryValue(704), 1);
  ASSERT_TRUE(model.setValue(wire::command::kTemperature, 77));
  ASSERT_TRUE(model.setValue(1314, 5));  // electricity, measured too

  model.save();
  model.resetToFactory();
  EXPECT_EQ(model.saveCount(), 1u);
  EXPECT_EQ(model.resetCount(), 1u);
  EXPECT_EQ(model.value(704), 1);
  EXPECT_EQ(*model.record(1044), *model.factoryRecord(1044));
  EXPECT_EQ(model.value(wire::command::kTemperature), 77);  // measured: a reset leaves it
  EXPECT_EQ(model.value(1314), 5);

  model.setShortReply(1008, 32);
  EXPECT_EQ(model.shortReply(1008), 32u);
  model.setShortReply(1008, std::nullopt);
  EXPECT_FALSE(model.shortReply(1008));
}

}  // namespace
}  // namespace vktemu

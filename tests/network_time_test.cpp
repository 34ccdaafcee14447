// The clock conversions, the clock calls, clock synchronisation, moving a
// camera to a new address, and the plainer network settings.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "camera_fixture.h"
#include "settings/camera_clock.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using vkt::settings::ClampSeconds;
using vkt::settings::SystemTimeToUnix;
using vkt::settings::UnixToSystemTime;
using vkttest::Clock;
using vkttest::MsSince;

SYSTEMTIME Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME t{};
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(mo);
  t.day = static_cast<uint16_t>(d);
  t.hour = static_cast<uint16_t>(h);
  t.minute = static_cast<uint16_t>(mi);
  t.second = static_cast<uint16_t>(s);
  t.milliseconds = static_cast<uint16_t>(ms);
  t.dayOfWeek = 6;  // ignored on input
  return t;
}

// The calendar day of `t` and its weekday, which the conversions compute.
void ExpectDay(const SYSTEMTIME& t, int year, int month, int day, int dayOfWeek) {
  EXPECT_EQ(t.year, year);
  EXPECT_EQ(t.month, month);
  EXPECT_EQ(t.day, day);
  EXPECT_EQ(t.dayOfWeek, dayOfWeek);
}

int64_t Seconds(const SYSTEMTIME& t) {
  int64_t s = -1;
  int32_t us = -1;
  EXPECT_TRUE(SystemTimeToUnix(t, s, us));
  return s;
}

TEST(ClockConversion, DocumentedExamples) {
  int64_t s;
  int32_t us;
  ASSERT_TRUE(SystemTimeToUnix(Date(1970, 1, 1), s, us));
  EXPECT_EQ(s, 0);
  EXPECT_EQ(us, 0);
  EXPECT_EQ(ClampSeconds(Seconds(Date(2038, 1, 19, 3, 14, 8))), 0x7FFFFFFF);
  EXPECT_EQ(ClampSeconds(Seconds(Date(2038, 1, 19, 3, 14, 7))), 0x7FFFFFFF);
  ASSERT_TRUE(SystemTimeToUnix(Date(2000, 3, 1, 12, 0, 0, 250), s, us));
  EXPECT_EQ(us, 250000);
  EXPECT_EQ(s, 951912000);
  // The low end is clamped too, never wrapped.
  EXPECT_EQ(ClampSeconds(Seconds(Date(1901, 12, 13, 20, 45, 52))), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ClampSeconds(Seconds(Date(1901, 12, 13, 20, 45, 51))), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ClampSeconds(Seconds(Date(1601, 1, 1))), std::numeric_limits<int32_t>::min());
}

TEST(ClockConversion, InvalidDatesAreRefused) {
  int64_t s;
  int32_t us;
  EXPECT_TRUE(SystemTimeToUnix(Date(2024, 2, 29), s, us));
  EXPECT_TRUE(SystemTimeToUnix(Date(2000, 2, 29), s, us));
  for (const SYSTEMTIME& bad : {Date(2023, 2, 29), Date(1900 + 200, 2, 30), Date(2100, 2, 29), Date(2024, 13, 1),
                                Date(2024, 0, 1), Date(2024, 4, 31), Date(2024, 1, 0), Date(2024, 1, 1, 24),
                                Date(2024, 1, 1, 0, 60), Date(2024, 1, 1, 0, 0, 60), Date(2024, 1, 1, 0, 0, 0, 1000),
                                Date(1600, 12, 31), Date(30828, 1, 1)}) {
    EXPECT_FALSE(SystemTimeToUnix(bad, s, us)) << bad.year << "-" << bad.month << "-" << bad.day;
  }
}

TEST(ClockConversion, BackFromSecondsWithCarriedMicroseconds) {
  SYSTEMTIME t = UnixToSystemTime(86400, 0);
  ExpectDay(t, 1970, 1, 2, 5);  // a Friday
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.milliseconds, 0);
  t = UnixToSystemTime(0, 1500000);
  EXPECT_EQ(t.second, 1);
  EXPECT_EQ(t.milliseconds, 500);
  t = UnixToSystemTime(0, -1);
  EXPECT_EQ(t.year, 1969);
  EXPECT_EQ(t.second, 59);
  EXPECT_EQ(t.milliseconds, 999);
  t = UnixToSystemTime(std::numeric_limits<int32_t>::min(), 0);
  ExpectDay(t, 1901, 12, 13, 5);
  // Round trips over the whole range the camera can hold.
  for (int64_t s = std::numeric_limits<int32_t>::min(); s < std::numeric_limits<int32_t>::max(); s += 7777777) {
    int64_t back;
    int32_t us;
    ASSERT_TRUE(SystemTimeToUnix(UnixToSystemTime(s, 0), back, us));
    EXPECT_EQ(back, s);
  }
}

class CameraClock : public vkttest::HandleTest {};

TEST_F(CameraClock, SetSendsSecondsMicrosecondsAndExtra) {
  ASSERT_EQ(VKT_SetDateTime(camera, nullptr, 0, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
  SYSTEMTIME bad = Date(2023, 2, 29);
  EXPECT_EQ(VKT_SetDateTime(camera, &bad, 0, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
  EXPECT_EQ(emulator.commandTraffic(id).size(), 0u) << "nothing sent for invalid input";

  SYSTEMTIME t = Date(2038, 1, 19, 3, 14, 8, 250);
  ASSERT_EQ(VKT_SetDateTime(camera, &t, -42, 1000), 0);
  auto traffic = emulator.commandTraffic(id);
  ASSERT_EQ(traffic.size(), 1u);
  EXPECT_EQ(traffic[0].command, 1071);
  ASSERT_EQ(traffic[0].length, 12u);
  int32_t words[3];
  std::memcpy(words, traffic[0].bytes.data() + 28, 12);
  EXPECT_EQ(words[0], 0x7FFFFFFF);
  EXPECT_EQ(words[1], 250000);
  EXPECT_EQ(words[2], -42);
}

TEST_F(CameraClock, GetReadsTheReplyRecord) {
  std::array<uint8_t, 20> reply{};
  const int32_t seconds = 86400, micros = 123456, extra = 99;
  std::memcpy(reply.data(), &seconds, 4);
  std::memcpy(reply.data() + 4, &micros, 4);
  std::memset(reply.data() + 8, 0xEE, 8);  // not read
  std::memcpy(reply.data() + 16, &extra, 4);
  emulator.setClockReply(id, reply);
  SYSTEMTIME t{};
  int got = 0;
  ASSERT_EQ(VKT_GetDateTime(camera, &t, &got, 1000), 0);
  EXPECT_EQ(t.year, 1970);
  EXPECT_EQ(t.day, 2);
  EXPECT_EQ(t.milliseconds, 123);
  EXPECT_EQ(got, 99);
  EXPECT_EQ(VKT_GetDateTime(camera, &t, nullptr, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_INVALID_PARAM);
}

TEST_F(CameraClock, SetThenGetFollowsTheCameraClock) {
  SYSTEMTIME t = Date(2026, 12, 8, 22, 30, 0, 0);
  ASSERT_EQ(VKT_SetDateTime(camera, &t, 5, 1000), 0);
  SYSTEMTIME back{};
  int extra = 0;
  ASSERT_EQ(VKT_GetDateTime(camera, &back, &extra, 1000), 0);
  ExpectDay(back, 2026, 12, 8, 2);  // a Tuesday
  EXPECT_EQ(back.hour, 22);
  EXPECT_EQ(back.minute, 30);
  EXPECT_EQ(extra, 5);
}

TEST_F(CameraClock, SynchronisationWaitsForItsSecondReply) {
  emulator.setNtpDelay(id, 100ms);
  auto start = Clock::now();
  EXPECT_EQ(VKT_NTPTiming(camera, 2000), 0);
  EXPECT_GE(MsSince(start), 95);
  EXPECT_EQ(emulator.ntpCount(id), 1u);
}

TEST_F(CameraClock, SynchronisationWithoutSecondReplyTimesOut) {
  vktemu::CommandFaults never;
  never.noCompletion = true;
  emulator.setCommandFaults(id, 101, never);
  const size_t connections = emulator.connectionCount(id);
  auto start = Clock::now();
  EXPECT_EQ(VKT_NTPTiming(camera, 300), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NTP_TIMEOUT);
  EXPECT_GE(MsSince(start), 290);
  EXPECT_LT(MsSince(start), 300 + 250);
  emulator.clearCommandFaults(id);
  int zone;
  EXPECT_EQ(VKT_GetTimeZone(camera, &zone, 1000), 0);
  EXPECT_GT(emulator.connectionCount(id), connections) << "the connection was closed";
}

TEST_F(CameraClock, SynchronisationRefusedIsAFailure) {
  vktemu::CommandFaults refuse;
  refuse.status = -1;
  emulator.setCommandFaults(id, 101, refuse);
  EXPECT_EQ(VKT_NTPTiming(camera, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NTP_FAILED);
  refuse.status.reset();
  refuse.completionStatus = -2;
  emulator.setCommandFaults(id, 101, refuse);
  EXPECT_EQ(VKT_NTPTiming(camera, 1000), 1);
  EXPECT_EQ(VKT_GetLastError(), VKT_ERR_NTP_FAILED);
}

class NetworkSettings : public CameraClock {};

TEST_F(NetworkSettings, NewSecondWordKeepsTheConnection) {
  NetWorkParam net;
  ASSERT_EQ(VKT_GetNetWorkParam(camera, &net, 1000), 0);
  EXPECT_EQ(vkttest::DottedAddress(net.ipAddress), "127.0.0.10");
  const size_t connections = emulator.connectionCount(id);
  net.addressWord2 = inet_addr("127.0.0.254");
  ASSERT_EQ(VKT_SetNetWorkParam(camera, &net, 1000), 0);
  ASSERT_EQ(VKT_GetNetWorkParam(camera, &net, 1000), 0);
  EXPECT_EQ(Sent(1016), 1u) << "still cached";
  EXPECT_EQ(emulator.connectionCount(id), connections);
}

TEST_F(NetworkSettings, NewAddressMovesTheLibraryToIt) {
  NetWorkParam net;
  ASSERT_EQ(VKT_GetNetWorkParam(camera, &net, 1000), 0);
  net.ipAddress = inet_addr("127.0.0.77");
  ASSERT_EQ(VKT_SetNetWorkParam(camera, &net, 1000), 0);
  ASSERT_TRUE(vkttest::WaitFor([&] { return emulator.camera(id).address == "127.0.0.77"; }, 2s));
  NetWorkParam again;
  ASSERT_EQ(VKT_GetNetWorkParam(camera, &again, 1000), 0) << std::hex << VKT_GetLastError();
  EXPECT_EQ(Sent(1016), 2u) << "the cache went with the old connection";
  EXPECT_EQ(vkttest::DottedAddress(again.ipAddress), "127.0.0.77");
  // The same camera added by its new record is the same handle.
  DeviceRecord moved = vkttest::RecordOf(emulator.camera(id));
  EXPECT_EQ(VKT_AddCamera(&moved, nullptr, 1000), camera);
}

TEST_F(NetworkSettings, TimeZoneIsCachedAutoSyncIsNot) {
  int v = 0;
  ASSERT_EQ(VKT_GetTimeZone(camera, &v, 1000), 0);
  ASSERT_EQ(VKT_GetTimeZone(camera, &v, 1000), 0);
  ASSERT_EQ(VKT_SetTimeZone(camera, v, 1000), 0);
  EXPECT_EQ(Sent(1076), 1u);
  EXPECT_EQ(Sent(1077), 0u);
  ASSERT_EQ(VKT_GetDefaultTimeZone(camera, &v, 1000), 0);
  ASSERT_EQ(VKT_GetAutoSyn(camera, &v, 1000), 0);
  ASSERT_EQ(VKT_GetAutoSyn(camera, &v, 1000), 0);
  EXPECT_EQ(Sent(1312), 2u);
  ASSERT_EQ(VKT_SetAutoSyn(camera, 1, 1000), 0);
  ASSERT_EQ(VKT_GetAutoSyn(camera, &v, 1000), 0);
  EXPECT_EQ(v, 1);
}

}  // namespace

#include "settings/camera_clock.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "api/last_error.h"

namespace vkt::settings {
namespace {


bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

}  // namespace

bool SystemTimeToUnix(const SYSTEMTIME& t, int64_t& seconds, int32_t& microseconds) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12) return false;
  if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
  if (t.hour >= 24 || t.minute >= 60 || t.second >= 60 || t.milliseconds >= 1000) return false;
  seconds = DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  microseconds = t.milliseconds * 1000;
  return true;
}

SYSTEMTIME UnixToSystemTime(int64_t seconds, int64_t microseconds) {
  seconds += FloorDiv(microseconds, 1000000);
  microseconds -= FloorDiv(microseconds, 1000000) * 1000000;
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t inDay = seconds - days * 86400;
  int64_t y;
  int m, d;
  CivilFromDays(days, y, m, d);
  SYSTEMTIME t{};
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(m);
  t.day = static_cast<uint16_t>(d);
  t.dayOfWeek = static_cast<uint16_t>(days + 4 - FloorDiv(days + 4, 7) * 7);  // 1970-01-01 was a Thursday
  t.hour = static_cast<uint16_t>(inDay / 3600);
  t.minute = static_cast<uint16_t>(inDay / 60 % 60);
  t.second = static_cast<uint16_t>(inDay % 60);
  t.milliseconds = static_cast<uint16_t>(microseconds / 1000);
  return t;
}

int32_t ClampSeconds(int64_t seconds) {
  return static_cast<int32_t>(std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int GetDateTime(CameraContext& camera, SYSTEMTIME* time, int* extra, uint32_t ms) {
  if (time == nullptr || extra == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  if (camera.Exchange(Request{command::kGetClock}, ms) != 0) return 1;
  // Seconds at 0, microseconds at 4, the extra word at 16; whatever a short
  // reply lacks reads as zero.
  uint8_t reply[20] = {};
  std::memcpy(reply, camera.ReplyPayload(), std::min<uint32_t>(camera.ReplyHeader().length, sizeof reply));
  int32_t seconds, micros, word;
  std::memcpy(&seconds, reply, 4);
  std::memcpy(&micros, reply + 4, 4);
  std::memcpy(&word, reply + 16, 4);
  *time = UnixToSystemTime(seconds, micros);
  *extra = word;
  return 0;
}

int SetDateTime(CameraContext& camera, const SYSTEMTIME* time, int extra, uint32_t ms) {
  if (time == nullptr) return Fail(err::kInvalidParam);
  std::lock_guard<std::recursive_mutex> lock(camera.CommandLock());
  if (camera.CheckPendingSave(ms) != 0) return 1;
  int64_t seconds;
  int32_t micros;
  if (!SystemTimeToUnix(*time, seconds, micros)) return Fail(err::kInvalidParam);
  const int32_t words[3] = {ClampSeconds(seconds), micros, extra};
  Request request{command::kSetClock};
  request.payload = words;
  request.length = sizeof words;
  return camera.Exchange(request, ms);
}

}  // namespace vkt::settings

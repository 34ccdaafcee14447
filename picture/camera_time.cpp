#include "picture/camera_time.h"

#include <ctime>

namespace vkt {

CameraTime ToCameraTime(int32_t seconds, int32_t microseconds) {
  int64_t s = seconds;
  int64_t us = microseconds;
  int64_t carry = us / 1000000;
  if (us % 1000000 < 0) --carry;
  s += carry;
  us -= carry * 1000000;

  CameraTime t{};
  const time_t when = static_cast<time_t>(s);
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return t;
  t.year = static_cast<uint16_t>(local.tm_year + 1900);
  t.month = static_cast<uint16_t>(local.tm_mon + 1);
  t.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
  t.day = static_cast<uint16_t>(local.tm_mday);
  t.hour = static_cast<uint16_t>(local.tm_hour);
  t.minute = static_cast<uint16_t>(local.tm_min);
  t.second = static_cast<uint16_t>(local.tm_sec);
  t.milliseconds = static_cast<uint16_t>(us / 1000);
  return t;
}

}  // namespace vkt

#include "time_text.h"

#include <chrono>
#include <cstdio>
#include <limits>

#include "format.h"
#include "json_text.h"

namespace vktcli {

namespace {

namespace chrono = std::chrono;

chrono::year_month_day Date(int year, int month, int day) {
  return chrono::year_month_day{chrono::year{year}, chrono::month{static_cast<unsigned>(month)},
                                chrono::day{static_cast<unsigned>(day)}};
}

// The digits of text[start, start + count) as a number; -1 when any is not
// a digit. from_chars would also take a sign or stop early.
int Digits(std::string_view text, std::size_t start, std::size_t count) {
  int value = 0;
  for (std::size_t i = start; i < start + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string FormatSystemTime(const SYSTEMTIME& time) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u.%03u", unsigned{time.year},
                unsigned{time.month}, unsigned{time.day}, unsigned{time.hour}, unsigned{time.minute},
                unsigned{time.second}, unsigned{time.milliseconds});
  return buffer;
}

std::string FormatCameraClockText(const SYSTEMTIME& time, int extra) {
  return FormatSystemTime(time) + " extra=" + std::to_string(extra) + "\n";
}

std::string FormatCameraClockJson(const SYSTEMTIME& time, int extra) {
  return JsonLine({{"year", time.year},
                   {"month", time.month},
                   {"day", time.day},
                   {"hour", time.hour},
                   {"minute", time.minute},
                   {"second", time.second},
                   {"milliseconds", time.milliseconds},
                   {"dayOfWeek", time.dayOfWeek},
                   {"extra", extra}}) +
         "\n";
}

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  return Date(year, month, day).ok();
}

int DayOfWeek(int year, int month, int day) {
  return static_cast<int>(chrono::weekday{chrono::sys_days{Date(year, month, day)}}.c_encoding());
}

std::optional<SYSTEMTIME> ParseSystemTime(std::string_view text, std::string& error) {
  const std::string shape = "needs \"YYYY-MM-DD HH:MM:SS\" or \"YYYY-MM-DD HH:MM:SS.mmm\", not " + Quoted(text);
  // Where the separators go; every other place is a digit.
  static constexpr std::string_view kPattern = "0000-00-00 00:00:00.000";
  if (text.size() != 19 && text.size() != 23) {
    error = shape;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digitExpected = kPattern[i] == '0';
    const bool isDigit = text[i] >= '0' && text[i] <= '9';
    if (digitExpected != isDigit || (!digitExpected && text[i] != kPattern[i])) {
      error = shape;
      return std::nullopt;
    }
  }
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 5, 2);
  const int day = Digits(text, 8, 2);
  const int hour = Digits(text, 11, 2);
  const int minute = Digits(text, 14, 2);
  const int second = Digits(text, 17, 2);
  const int milliseconds = text.size() == 23 ? Digits(text, 20, 3) : 0;
  if (!IsValidDate(year, month, day)) {
    error = Quoted(text.substr(0, 10)) + " is not a date in the calendar";
    return std::nullopt;
  }
  if (hour > 23 || minute > 59 || second > 59) {
    error = Quoted(text.substr(11, 8)) + " is not a time of day (00:00:00 to 23:59:59)";
    return std::nullopt;
  }
  const chrono::sys_seconds instant = chrono::sys_days{Date(year, month, day)} + chrono::hours{hour} +
                                      chrono::minutes{minute} + chrono::seconds{second};
  const std::int64_t seconds = instant.time_since_epoch().count();
  if (seconds < std::numeric_limits<std::int32_t>::min() || seconds > std::numeric_limits<std::int32_t>::max()) {
    error = Quoted(text) + " is outside the camera's clock range, " + std::string(kEarliestCameraTime) +
            " to " + std::string(kLatestCameraTime);
    return std::nullopt;
  }
  return MakeSystemTime(year, month, day, hour, minute, second, milliseconds);
}

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second, int milliseconds) {
  const auto field = [](int value) { return static_cast<std::uint16_t>(value); };
  return {field(year), field(month), field(DayOfWeek(year, month, day)), field(day),
          field(hour), field(minute), field(second), field(milliseconds)};
}

SYSTEMTIME SystemTimeFromUnix(std::int64_t seconds, unsigned milliseconds) {
  const chrono::sys_seconds instant{chrono::seconds{seconds}};
  const chrono::sys_days day = chrono::floor<chrono::days>(instant);
  const chrono::year_month_day date{day};
  const chrono::hh_mm_ss<chrono::seconds> clock{instant - day};
  return MakeSystemTime(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                        static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
                        static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
                        static_cast<int>(milliseconds % 1000));
}

SYSTEMTIME HostUtcNow() {
  const auto now = chrono::system_clock::now();
  // Floored, so a clock before 1970 still gives 0..999 milliseconds.
  const auto seconds = chrono::floor<chrono::seconds>(now);
  return SystemTimeFromUnix(seconds.time_since_epoch().count(),
                            static_cast<unsigned>(chrono::duration_cast<chrono::milliseconds>(now - seconds).count()));
}

}  // namespace vktcli

#include "shared/dosdate.h"

#include <cmath>

namespace nxs {

int32_t UnixToFileDate(time_t Time) {
  struct tm T;
  if (!localtime_r(&Time, &T)) return -1;
  int Year = T.tm_year + 1900;
  if (Year < 1980 || Year > 2107) return -1;
  uint32_t Date = (static_cast<uint32_t>(Year - 1980) << 9) | (static_cast<uint32_t>(T.tm_mon + 1) << 5) |
                  static_cast<uint32_t>(T.tm_mday);
  uint32_t Clock = (static_cast<uint32_t>(T.tm_hour) << 11) | (static_cast<uint32_t>(T.tm_min) << 5) |
                   static_cast<uint32_t>(T.tm_sec / 2);
  return static_cast<int32_t>((Date << 16) | Clock);
}

time_t FileDateToUnix(int32_t FileDate) {
  uint32_t V = static_cast<uint32_t>(FileDate);
  uint32_t Date = V >> 16, Clock = V & 0xFFFF;
  struct tm T = {};
  T.tm_year = static_cast<int>(Date >> 9) + 80;
  T.tm_mon = static_cast<int>((Date >> 5) & 15) - 1;
  T.tm_mday = static_cast<int>(Date & 31);
  T.tm_hour = static_cast<int>(Clock >> 11);
  T.tm_min = static_cast<int>((Clock >> 5) & 63);
  T.tm_sec = static_cast<int>(Clock & 31) * 2;
  if (T.tm_mon < 0 || T.tm_mon > 11 || T.tm_mday < 1 || T.tm_hour > 23 || T.tm_min > 59 || T.tm_sec > 59)
    return -1;
  T.tm_isdst = -1;
  return mktime(&T);
}

// 1970-01-01 is day 25569 of the day count.
static constexpr double kUnixEpochDays = 25569.0;

TDateTime UnixToDateTime(time_t Time) {
  struct tm T;
  if (!localtime_r(&Time, &T)) return 0;
  // Local wall-clock time, as a day count, so that the fraction reads as the local time.
  long Offset = T.tm_gmtoff;
  return kUnixEpochDays + static_cast<double>(Time + Offset) / 86400.0;
}

time_t DateTimeToUnix(TDateTime Value) {
  double LocalSeconds = std::round((Value - kUnixEpochDays) * 86400.0);
  time_t Guess = static_cast<time_t>(LocalSeconds);
  struct tm T;
  if (!localtime_r(&Guess, &T)) return Guess;
  return Guess - T.tm_gmtoff;
}

TDateTime FileDateToDateTime(int32_t FileDate) {
  time_t T = FileDateToUnix(FileDate);
  return T == -1 ? 0 : UnixToDateTime(T);
}

int32_t DateTimeToFileDate(TDateTime Value) { return UnixToFileDate(DateTimeToUnix(Value)); }

TDateTime Now() { return UnixToDateTime(time(nullptr)); }

}  // namespace nxs

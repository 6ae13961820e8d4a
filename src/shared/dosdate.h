// DOS date-times (32 bits: the date in the high word, the time in the low word, local time,
// two-second resolution) and day-count date-times (days since 1899-12-30, fraction = time).
#pragma once

#include <cstdint>
#include <ctime>

namespace nxs {

using TDateTime = double;

// -1 for a time the DOS format cannot hold (before 1980 or after 2107).
int32_t UnixToFileDate(time_t Time);
// -1 for a value that is not a valid DOS date-time.
time_t FileDateToUnix(int32_t FileDate);

TDateTime UnixToDateTime(time_t Time);
time_t DateTimeToUnix(TDateTime Value);
TDateTime FileDateToDateTime(int32_t FileDate);
int32_t DateTimeToFileDate(TDateTime Value);
TDateTime Now();

}  // namespace nxs

// Port: local wall-clock time.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace quillmend {

struct LocalDateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// The local time now.
LocalDateTime LocalNow();
// Converts seconds since 1970-01-01 UTC to local time.
LocalDateTime ToLocalTime(std::int64_t unix_seconds);
// Offset of local time from UTC at the given moment, in seconds (east positive).
std::int64_t LocalUtcOffsetSeconds(std::int64_t unix_seconds);

// "yyyy-mm-dd hh:mm:ss" (24-hour clock, two-digit fields).
std::string FormatDateTime(const LocalDateTime& t);
// "yyyy-mm-dd".
std::string FormatDate(const LocalDateTime& t);
// "hh:mm".
std::string FormatHourMinute(const LocalDateTime& t);

}  // namespace quillmend

#include "platform/local_time.h"

#include <ctime>

namespace quillmend {

LocalDateTime ToLocalTime(std::int64_t unix_seconds) {
  const time_t t = static_cast<time_t>(unix_seconds);
  tm parts{};
  localtime_r(&t, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

LocalDateTime LocalNow() { return ToLocalTime(static_cast<std::int64_t>(time(nullptr))); }

std::int64_t LocalUtcOffsetSeconds(std::int64_t unix_seconds) {
  const time_t t = static_cast<time_t>(unix_seconds);
  tm parts{};
  localtime_r(&t, &parts);
  return parts.tm_gmtoff;
}

}  // namespace quillmend

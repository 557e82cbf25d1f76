#include <windows.h>

#include <ctime>

#include "platform/local_time.h"

namespace quillmend {
namespace {

FILETIME UnixToFileTime(std::int64_t unix_seconds) {
  const ULONGLONG ticks =
      static_cast<ULONGLONG>(unix_seconds + 11644473600LL) * 10000000ULL;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

}  // namespace

LocalDateTime ToLocalTime(std::int64_t unix_seconds) {
  const FILETIME utc = UnixToFileTime(unix_seconds);
  FILETIME local{};
  SYSTEMTIME st{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

LocalDateTime LocalNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::int64_t LocalUtcOffsetSeconds(std::int64_t unix_seconds) {
  const FILETIME utc = UnixToFileTime(unix_seconds);
  FILETIME local{};
  FileTimeToLocalFileTime(&utc, &local);
  const auto value = [](const FILETIME& ft) {
    return static_cast<std::int64_t>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) |
                                     ft.dwLowDateTime);
  };
  return (value(local) - value(utc)) / 10000000LL;
}

}  // namespace quillmend

// The date column of Unix-style LIST lines, in the forms servers write it, for the listing
// parser of the POSIX FTP backend. Internal to src/platform/posix.
//
//   Dec  8 09:34   Mar 04  2021      month name first (the C locale)
//   8 Dec 09:34    08 déc. 2021      day first (numeric day-month order of other locales)
//   12월  8일  09:34   12월  8 09:34   2005년  1월  6일      Korean locales (UTF-8 or CP949)
//   2026-12-08 09:34   2026-12-08 09:34:56.123456789 +0900   2005-01-06   12-08 09:34   ISO
//
// A time of day without a year belongs to the current year unless that puts it more than a day
// ahead (then to the year before); "24:00" is the end of that day.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillmend::inet::posix {

struct DateMatch {
  int year = 0;
  int month = 0;
  int day = 0;
  int minutes = 0;          // since midnight; 1440 for "24:00"
  std::size_t tokens = 0;   // how many tokens the date took
  bool padded = false;      // a date-only ISO column: one more blank may stand before the name
};

// Tries every form at tokens[first...]; false when none fits.
bool MatchListDate(const std::vector<std::string_view>& tokens, std::size_t first,
                   std::int64_t now_unix, DateMatch& match);

// "hh:mm" (00:00 to 24:00) -> minutes since midnight, or -1.
int ClockOf(std::string_view text);

}  // namespace quillmend::inet::posix

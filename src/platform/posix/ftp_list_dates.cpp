// The date column of Unix-style LIST lines.
#include "platform/posix/ftp_list_dates.h"

#include <cctype>
#include <ctime>

#include "platform/posix/ftp_list_parser.h"

namespace quillmend::inet::posix {
namespace {

// 년, 월, 일 in UTF-8 and in CP949.
constexpr std::string_view kYearUtf8 = "\xEB\x85\x84", kYearCp949 = "\xB3\xE2";
constexpr std::string_view kMonthUtf8 = "\xEC\x9B\x94", kMonthCp949 = "\xBF\xF9";
constexpr std::string_view kDayUtf8 = "\xEC\x9D\xBC", kDayCp949 = "\xC0\xCF";

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Number(std::string_view s) {
  int n = 0;
  for (const char c : s) n = n * 10 + (c - '0');
  return n;
}

// Drops one of the given endings; false when the text has none of them.
bool DropEnding(std::string_view& s, std::string_view a, std::string_view b) {
  for (const std::string_view ending : {a, b}) {
    if (s.size() > ending.size() && s.substr(s.size() - ending.size()) == ending) {
      s.remove_suffix(ending.size());
      return true;
    }
  }
  return false;
}

int MonthName(std::string_view s) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (!s.empty() && s.back() == '.') s.remove_suffix(1);
  if (s.size() != 3) return 0;
  for (int m = 0; m < 12; ++m) {
    bool same = true;
    for (int k = 0; k < 3; ++k) {
      same = same && std::tolower(static_cast<unsigned char>(s[k])) == kMonths[m][k];
    }
    if (same) return m + 1;
  }
  return 0;
}

int KoreanMonth(std::string_view s) {
  if (!DropEnding(s, kMonthUtf8, kMonthCp949) || !AllDigits(s) || s.size() > 2) return 0;
  const int month = Number(s);
  return month >= 1 && month <= 12 ? month : 0;
}

// A day number, with "일" when `korean_day` allows or demands it, or a trailing "." (8.).
int DayOf(std::string_view s, bool korean_day_required) {
  const bool korean = DropEnding(s, kDayUtf8, kDayCp949);
  if (korean_day_required && !korean) return 0;
  if (!korean && !s.empty() && s.back() == '.') s.remove_suffix(1);
  if (!AllDigits(s) || s.size() > 2) return 0;
  const int day = Number(s);
  return day >= 1 && day <= 31 ? day : 0;
}

int KoreanYear(std::string_view s) {
  if (!DropEnding(s, kYearUtf8, kYearCp949) || !AllDigits(s) || s.size() != 4) return 0;
  return Number(s);
}

int YearInferred(int month, int day, std::int64_t now_unix) {
  std::tm now{};
  const std::time_t now_t = static_cast<std::time_t>(now_unix);
  gmtime_r(&now_t, &now);
  const int year = now.tm_year + 1900;
  // A recent file's date lies at most a day ahead; otherwise it is from last year.
  constexpr std::uint64_t kDay = 864000000000ULL;
  return FileTimeOfUtc(year, month, day, 0, 0) >
                 FileTimeOfUtc(year, now.tm_mon + 1, now.tm_mday, 0, 0) + kDay
             ? year - 1
             : year;
}

// A time of day (the year is inferred) or a four-digit year (the time is midnight).
bool TimeOrYear(std::string_view s, int month, int day, std::int64_t now_unix, DateMatch& m) {
  const int minutes = ClockOf(s);
  if (minutes >= 0) {
    m.year = YearInferred(month, day, now_unix);
    m.minutes = minutes;
    return true;
  }
  if (AllDigits(s) && s.size() == 4) {
    m.year = Number(s);
    m.minutes = 0;
    return true;
  }
  return false;
}

// "yyyy-mm-dd" -> true with its parts.
bool IsoDay(std::string_view s, int& year, int& month, int& day) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !AllDigits(s.substr(0, 4)) ||
      !AllDigits(s.substr(5, 2)) || !AllDigits(s.substr(8, 2))) {
    return false;
  }
  year = Number(s.substr(0, 4));
  month = Number(s.substr(5, 2));
  day = Number(s.substr(8, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// "hh:mm", "hh:mm:ss" or "hh:mm:ss.fraction" -> minutes, or -1.
int IsoClock(std::string_view s) {
  if (s.size() > 5 && s[5] == ':') {
    if (s.size() < 8 || !AllDigits(s.substr(6, 2))) return -1;
    if (s.size() > 8 && (s[8] != '.' || !AllDigits(s.substr(9)))) return -1;
    s = s.substr(0, 5);
  }
  return ClockOf(s);
}

bool IsZone(std::string_view s) {
  return s.size() == 5 && (s[0] == '+' || s[0] == '-') && AllDigits(s.substr(1));
}

}  // namespace

int ClockOf(std::string_view s) {
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() != colon + 3) {
    return -1;
  }
  if (!AllDigits(s.substr(0, colon)) || !AllDigits(s.substr(colon + 1))) return -1;
  const int h = Number(s.substr(0, colon));
  const int m = Number(s.substr(colon + 1));
  if (h == 24 && m == 0) return 24 * 60;
  return h < 24 && m < 60 ? h * 60 + m : -1;
}

bool MatchListDate(const std::vector<std::string_view>& t, std::size_t i, std::int64_t now_unix,
                   DateMatch& m) {
  m = DateMatch{};
  const auto has = [&](std::size_t n) { return i + n <= t.size(); };
  // Month name first: "Dec 8 09:34", "Mar 04 2021".
  if (has(3) && (m.month = MonthName(t[i])) != 0 && (m.day = DayOf(t[i + 1], false)) != 0 &&
      TimeOrYear(t[i + 2], m.month, m.day, now_unix, m)) {
    m.tokens = 3;
    return true;
  }
  // Day first: "8 Dec 09:34", "08 déc. 2021".
  if (has(3) && (m.day = DayOf(t[i], false)) != 0 && (m.month = MonthName(t[i + 1])) != 0 &&
      TimeOrYear(t[i + 2], m.month, m.day, now_unix, m)) {
    m.tokens = 3;
    return true;
  }
  // Korean: "12월 8일 09:34", "12월 8 09:34", "12월 8 2021".
  if (has(3) && (m.month = KoreanMonth(t[i])) != 0 && (m.day = DayOf(t[i + 1], false)) != 0 &&
      TimeOrYear(t[i + 2], m.month, m.day, now_unix, m)) {
    m.tokens = 3;
    return true;
  }
  // Korean with the year: "2005년 1월 6일", perhaps followed by the time.
  if (has(3) && (m.year = KoreanYear(t[i])) != 0 && (m.month = KoreanMonth(t[i + 1])) != 0 &&
      (m.day = DayOf(t[i + 2], true)) != 0) {
    m.tokens = 3;
    if (has(4) && (m.minutes = ClockOf(t[i + 3])) >= 0) {
      m.tokens = 4;
    } else {
      m.minutes = 0;
    }
    return true;
  }
  // ISO: "2026-12-08 09:34", "2026-12-08 09:34:56.123 +0900", "2005-01-06".
  if (has(1) && IsoDay(t[i], m.year, m.month, m.day)) {
    if (has(2) && (m.minutes = IsoClock(t[i + 1])) >= 0) {
      m.tokens = has(3) && IsZone(t[i + 2]) ? 3 : 2;
    } else {
      m.minutes = 0;
      m.tokens = 1;
      m.padded = true;
    }
    return true;
  }
  // ISO for recent files: "12-08 09:34".
  if (has(2) && t[i].size() == 5 && t[i][2] == '-' && AllDigits(t[i].substr(0, 2)) &&
      AllDigits(t[i].substr(3))) {
    m.month = Number(t[i].substr(0, 2));
    m.day = Number(t[i].substr(3));
    m.minutes = ClockOf(t[i + 1]);
    if (m.month >= 1 && m.month <= 12 && m.day >= 1 && m.day <= 31 && m.minutes >= 0) {
      m.year = YearInferred(m.month, m.day, now_unix);
      m.tokens = 2;
      return true;
    }
  }
  return false;
}

}  // namespace quillmend::inet::posix

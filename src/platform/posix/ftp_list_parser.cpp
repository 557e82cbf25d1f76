// LIST line parser: Unix `ls -l` and MS-DOS/IIS forms.
#include "platform/posix/ftp_list_parser.h"

#include <cctype>
#include <ctime>
#include <vector>

namespace quillmend::inet::posix {
namespace {

struct Token {
  std::string_view text;
  std::size_t begin = 0;
  std::size_t end = 0;
};

std::vector<Token> Tokens(std::string_view line) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    const std::size_t begin = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    tokens.push_back({line.substr(begin, i - begin), begin, i});
  }
  return tokens;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::uint64_t Number(std::string_view s) {
  std::uint64_t n = 0;
  for (char c : s) n = n * 10 + static_cast<std::uint64_t>(c - '0');
  return n;
}

int MonthOf(std::string_view s) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
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

// "hh:mm" -> minutes since midnight, or -1.
int ClockOf(std::string_view s) {
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() != colon + 3) {
    return -1;
  }
  if (!AllDigits(s.substr(0, colon)) || !AllDigits(s.substr(colon + 1))) return -1;
  const int h = static_cast<int>(Number(s.substr(0, colon)));
  const int m = static_cast<int>(Number(s.substr(colon + 1)));
  return h < 24 && m < 60 ? h * 60 + m : -1;
}

bool NameIsUsable(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

void SetSize(FindData& data, std::uint64_t size) {
  data.size_low = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
  data.size_high = static_cast<std::uint32_t>(size >> 32);
}

std::optional<ParsedListLine> ParseUnix(std::string_view line, std::int64_t now_unix) {
  const std::vector<Token> t = Tokens(line);
  if (t.size() < 6) return std::nullopt;
  const std::string_view mode = t[0].text;
  if (mode.size() < 10 || std::string_view("-dlbcps").find(mode[0]) == std::string_view::npos) {
    return std::nullopt;
  }
  // Find "size Mon dd time-or-year" after the mode and link count.
  for (std::size_t i = 2; i + 2 < t.size(); ++i) {
    const int month = MonthOf(t[i].text);
    if (month == 0 || !AllDigits(t[i - 1].text) || !AllDigits(t[i + 1].text) ||
        t[i + 1].text.size() > 2) {
      continue;
    }
    const int day = static_cast<int>(Number(t[i + 1].text));
    const std::string_view when = t[i + 2].text;
    int year = 0;
    int minutes = ClockOf(when);
    if (minutes < 0) {
      if (!AllDigits(when) || when.size() != 4) continue;
      year = static_cast<int>(Number(when));
      minutes = 0;
    } else {
      std::tm now{};
      const std::time_t now_t = static_cast<std::time_t>(now_unix);
      gmtime_r(&now_t, &now);
      year = now.tm_year + 1900;
      // A recent file's date lies at most a day ahead; otherwise it is from last year.
      if (FileTimeOfUtc(year, month, day, 0, 0) >
          FileTimeOfUtc(year, now.tm_mon + 1, now.tm_mday, 0, 0) + 864000000000ULL) {
        --year;
      }
    }
    if (day < 1 || day > 31) return std::nullopt;
    // The name starts one blank after the date.
    const std::size_t name_begin = t[i + 2].end + 1;
    if (name_begin > line.size()) return std::nullopt;
    std::string_view name = line.substr(name_begin);
    ParsedListLine parsed;
    if (mode[0] == 'l') {
      parsed.link = true;
      const std::size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) {
        parsed.link_target = std::string(name.substr(arrow + 4));
        name = name.substr(0, arrow);
      }
    }
    if (!NameIsUsable(name)) return std::nullopt;
    parsed.kind = ListLineKind::kEntry;
    parsed.data.attributes = mode[0] == 'd' ? kAttributeDirectory : kAttributeNormal;
    SetSize(parsed.data, Number(t[i - 1].text));
    const std::uint64_t time = FileTimeOfUtc(year, month, day, minutes / 60, minutes % 60);
    parsed.data.creation_time = parsed.data.last_access_time = parsed.data.last_write_time = time;
    parsed.data.name = std::string(name);
    return parsed;
  }
  return std::nullopt;
}

std::optional<ParsedListLine> ParseDos(std::string_view line) {
  const std::vector<Token> t = Tokens(line);
  if (t.size() < 4) return std::nullopt;
  // mm-dd-yy or mm-dd-yyyy
  const std::string_view date = t[0].text;
  if (date.size() != 8 && date.size() != 10) return std::nullopt;
  if (date[2] != '-' || date[5] != '-' || !AllDigits(date.substr(0, 2)) ||
      !AllDigits(date.substr(3, 2)) || !AllDigits(date.substr(6))) {
    return std::nullopt;
  }
  const int month = static_cast<int>(Number(date.substr(0, 2)));
  const int day = static_cast<int>(Number(date.substr(3, 2)));
  int year = static_cast<int>(Number(date.substr(6)));
  if (date.size() == 8) year += year < 70 ? 2000 : 1900;
  // hh:mmAM / hh:mmPM / hh:mm
  std::string_view clock = t[1].text;
  int add = 0;
  if (clock.size() > 2) {
    const std::string_view suffix = clock.substr(clock.size() - 2);
    if (suffix == "AM" || suffix == "am" || suffix == "PM" || suffix == "pm") {
      add = (suffix[0] == 'P' || suffix[0] == 'p') ? 12 * 60 : 0;
      clock = clock.substr(0, clock.size() - 2);
    }
  }
  int minutes = ClockOf(clock);
  if (minutes < 0 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  if (add != 0 || clock.size() != t[1].text.size()) {
    minutes = (minutes % (12 * 60)) + add;  // 12:xxAM is just after midnight
  }
  ParsedListLine parsed;
  if (t[2].text == "<DIR>") {
    parsed.data.attributes = kAttributeDirectory;
  } else if (AllDigits(t[2].text)) {
    parsed.data.attributes = kAttributeNormal;
    SetSize(parsed.data, Number(t[2].text));
  } else {
    return std::nullopt;
  }
  const std::string_view name = line.substr(t[3].begin);
  if (!NameIsUsable(name)) return std::nullopt;
  parsed.kind = ListLineKind::kEntry;
  const std::uint64_t time = FileTimeOfUtc(year, month, day, minutes / 60, minutes % 60);
  parsed.data.creation_time = parsed.data.last_access_time = parsed.data.last_write_time = time;
  parsed.data.name = std::string(name);
  return parsed;
}

}  // namespace

std::uint64_t FileTimeOfUtc(int year, int month, int day, int hour, int minute) {
  // Days since 1970-01-01 of a civil date (proleptic Gregorian).
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = static_cast<unsigned>((153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1);
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60;
  return static_cast<std::uint64_t>((seconds + 11644473600LL) * 10000000LL);
}

ParsedListLine ParseListLine(std::string_view line, std::int64_t now_unix) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {ListLineKind::kIgnorable, {}};
  const std::string_view trimmed = line.substr(first);
  if (trimmed.size() > 6 && trimmed.substr(0, 6) == "total " &&
      AllDigits(trimmed.substr(6, trimmed.find_last_not_of(' ') - 5))) {
    return {ListLineKind::kIgnorable, {}};
  }
  if (auto unix_line = ParseUnix(line, now_unix)) return *unix_line;
  if (auto dos_line = ParseDos(line)) return *dos_line;
  return {};
}

bool FilterMatches(std::string_view filter, std::string_view name) {
  if (filter.empty() || filter == "*.*" || filter == "*") return true;
  // Iterative wildcard match with one back-tracking point.
  std::size_t f = 0, n = 0, star = std::string_view::npos, mark = 0;
  auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  while (n < name.size()) {
    if (f < filter.size() && (filter[f] == '?' || lower(filter[f]) == lower(name[n]))) {
      ++f;
      ++n;
    } else if (f < filter.size() && filter[f] == '*') {
      star = f++;
      mark = n;
    } else if (star != std::string_view::npos) {
      f = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (f < filter.size() && filter[f] == '*') ++f;
  return f == filter.size();
}

}  // namespace quillmend::inet::posix

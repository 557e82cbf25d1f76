// LIST line parser: Unix `ls -l` and MS-DOS/IIS forms.
#include "platform/posix/ftp_list_parser.h"

#include "platform/posix/ftp_list_dates.h"

#include <cctype>
#include <ctime>
#include <vector>

namespace quillmend::inet::posix {
namespace {

constexpr std::string_view kTypes = "-dlbcpsD";

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

bool NameIsUsable(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

void SetSize(FindData& data, std::uint64_t size) {
  data.size_low = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
  data.size_high = static_cast<std::uint32_t>(size >> 32);
}

// "-rw-r--r--", "drwxr-xr-x+", "lrwxrwxrwx.", and the 9-character forms some servers send
// ("drwxr-xr-" with the type, "rw-r--r--" without). The entry's type letter, or 0.
char ModeType(std::string_view mode) {
  if (!mode.empty() && std::string_view("+.@").find(mode.back()) != std::string_view::npos &&
      mode.size() == 11) {
    mode.remove_suffix(1);
  }
  const auto permissions = [](std::string_view p) {
    return p.find_first_not_of("-rwxsStTlL") == std::string_view::npos;
  };
  if (mode.size() == 10 && kTypes.find(mode[0]) != std::string_view::npos &&
      permissions(mode.substr(1))) {
    return mode[0];
  }
  if (mode.size() == 9 && permissions(mode.substr(1))) {
    if (kTypes.find(mode[0]) != std::string_view::npos) return mode[0];
    if (mode[0] == 'r') return '-';
  }
  return 0;
}

std::optional<ParsedListLine> ParseUnix(std::string_view line, std::int64_t now_unix) {
  const std::vector<Token> t = Tokens(line);
  if (t.size() < 5) return std::nullopt;
  const char type = ModeType(t[0].text);
  if (type == 0) return std::nullopt;
  std::vector<std::string_view> words;
  for (const Token& token : t) words.push_back(token.text);
  // Find "size date" after the mode and link count; a device shows "major, minor" instead of
  // a size.
  for (std::size_t i = 2; i + 1 < t.size(); ++i) {
    DateMatch date;
    const bool device_numbers =
        (type == 'b' || type == 'c') && t[i - 1].text.find(',') != std::string_view::npos;
    if ((!AllDigits(t[i - 1].text) && !device_numbers) ||
        !MatchListDate(words, i, now_unix, date)) {
      continue;
    }
    const std::size_t last = i + date.tokens - 1;
    if (type == 'b' || type == 'c') {
      // Not a file the server can send; the line is understood all the same.
      return ParsedListLine{ListLineKind::kIgnorable, {}};
    }
    // The name starts one blank after the date (two after a padded date-only column).
    std::size_t name_begin = t[last].end + 1;
    if (date.padded && name_begin < line.size() && line[name_begin] == ' ') ++name_begin;
    if (name_begin >= line.size()) return std::nullopt;
    std::string_view name = line.substr(name_begin);
    ParsedListLine parsed;
    if (type == 'l') {
      parsed.link = true;
      const std::size_t arrow = name.find(" -> ");
      if (arrow != std::string_view::npos) {
        parsed.link_target = std::string(name.substr(arrow + 4));
        name = name.substr(0, arrow);
      }
    }
    bool folder = type == 'd';
    if (name.size() > 1 && name.back() == '/' && !parsed.link) {  // "ls -p" marks folders
      name.remove_suffix(1);
      folder = true;
    }
    if (name.empty()) return std::nullopt;
    if (!NameIsUsable(name)) return ParsedListLine{ListLineKind::kIgnorable, {}};
    parsed.kind = ListLineKind::kEntry;
    parsed.data.attributes = folder ? kAttributeDirectory : kAttributeNormal;
    SetSize(parsed.data, Number(t[i - 1].text));
    const std::uint64_t time =
        FileTimeOfUtc(date.year, date.month, date.day, date.minutes / 60, date.minutes % 60);
    parsed.data.creation_time = parsed.data.last_access_time = parsed.data.last_write_time = time;
    parsed.data.name = std::string(name);
    return parsed;
  }
  return std::nullopt;
}

// "mm-dd-yy", "mm-dd-yyyy" (also with "/" or "."), or "yyyy-mm-dd".
bool DosDate(std::string_view date, int& year, int& month, int& day) {
  const auto separator = [](char c) { return c == '-' || c == '/' || c == '.'; };
  if (date.size() == 10 && separator(date[4]) && date[7] == date[4] &&
      AllDigits(date.substr(0, 4)) && AllDigits(date.substr(5, 2)) &&
      AllDigits(date.substr(8, 2))) {
    year = static_cast<int>(Number(date.substr(0, 4)));
    month = static_cast<int>(Number(date.substr(5, 2)));
    day = static_cast<int>(Number(date.substr(8, 2)));
  } else if ((date.size() == 8 || date.size() == 10) && separator(date[2]) &&
             date[5] == date[2] && AllDigits(date.substr(0, 2)) &&
             AllDigits(date.substr(3, 2)) && AllDigits(date.substr(6))) {
    month = static_cast<int>(Number(date.substr(0, 2)));
    day = static_cast<int>(Number(date.substr(3, 2)));
    year = static_cast<int>(Number(date.substr(6)));
    if (date.size() == 8) year += year < 70 ? 2000 : 1900;
  } else {
    return false;
  }
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

std::optional<ParsedListLine> ParseDos(std::string_view line) {
  const std::vector<Token> t = Tokens(line);
  if (t.size() < 4) return std::nullopt;
  int year = 0, month = 0, day = 0;
  if (!DosDate(t[0].text, year, month, day)) return std::nullopt;
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
  if (minutes < 0) return std::nullopt;
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
  std::string_view name = line.substr(t[3].begin);
  if (name.size() > 1 && name.back() == '/') {  // some servers mark folders so
    name.remove_suffix(1);
    parsed.data.attributes = kAttributeDirectory;
  }
  if (name.empty()) return std::nullopt;
  if (!NameIsUsable(name)) return ParsedListLine{ListLineKind::kIgnorable, {}};
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
  // The block count "total 48" (in the server's language: "합계 48").
  const std::vector<Token> words = Tokens(line);
  if (words.size() == 2 && AllDigits(words[1].text) && ModeType(words[0].text) == 0 &&
      !AllDigits(words[0].text)) {
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

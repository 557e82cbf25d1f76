// The listing parser of our FTP backend: the line forms servers send, and lines it must refuse.
#include <gtest/gtest.h>

#include "platform/posix/ftp_list_parser.h"

namespace quillmend::inet::posix {
namespace {

// 2026-12-08 12:00 UTC
constexpr std::int64_t kNow = 1796731200;

FindData Entry(const std::string& line) {
  const ParsedListLine parsed = ParseListLine(line, kNow);
  EXPECT_EQ(parsed.kind, ListLineKind::kEntry) << line;
  return parsed.data;
}

TEST(ListParser, UnixLinesInBothDateStyles) {
  const FindData old = Entry("-rw-r--r--   1 root     root           12 Mar 04  2021 readme.txt");
  EXPECT_EQ(old.name, "readme.txt");
  EXPECT_EQ(old.size_low, 12u);
  EXPECT_EQ(old.attributes, kAttributeNormal);
  EXPECT_EQ(old.last_write_time, FileTimeOfUtc(2021, 3, 4, 0, 0));

  const FindData recent = Entry("drwxr-xr-x    2 1000     1000         4096 Dec 08 00:29 program");
  EXPECT_EQ(recent.attributes, kAttributeDirectory);
  EXPECT_EQ(recent.last_write_time, FileTimeOfUtc(2026, 12, 8, 0, 29));

  // A time-of-day date that would lie months ahead belongs to last year.
  EXPECT_EQ(Entry("-rw-r--r-- 1 0 0 5 Nov 30 23:59 late.txt").last_write_time,
            FileTimeOfUtc(2026, 11, 30, 23, 59));
  EXPECT_EQ(Entry("-rw-r--r-- 1 0 0 5 Dec 20 10:00 ahead.txt").last_write_time,
            FileTimeOfUtc(2025, 12, 20, 10, 0));
}

TEST(ListParser, NamesKeepBlanksAndBytesAndLoseLinkTargets) {
  EXPECT_EQ(Entry("-rw-r--r-- 1 ftp ftp 7 Jan 01  2020 my file  v2.cab").name, "my file  v2.cab");
  const std::string hangul_cp949 = "\xC7\xD1\xB1\xDB.txt";  // CP949 bytes, decoded later
  EXPECT_EQ(Entry("-rw-r--r-- 1 ftp ftp 7 Jan 01  2020 " + hangul_cp949).name, hangul_cp949);
  const ParsedListLine link = ParseListLine("lrwxrwxrwx 1 0 0 9 Jan 01  2020 latest -> v7.5.13", kNow);
  EXPECT_TRUE(link.link);
  EXPECT_EQ(link.data.name, "latest");
  EXPECT_EQ(link.link_target, "v7.5.13");
  // No group column; a size beyond 32 bits keeps its high part.
  const FindData big = Entry("-rw-r--r-- 1 owner 5000000000 Feb 02  2022 big.iso");
  EXPECT_EQ(big.size_high, 1u);
  EXPECT_EQ(big.size_low, 705032704u);
  EXPECT_EQ(Entry("drwxr-xr-x 2 0 0 4096 Jan 01  2020 ..").name, "..");
}

TEST(ListParser, MsDosLines) {
  const FindData folder = Entry("12-04-21  10:15AM       <DIR>          Program Files");
  EXPECT_EQ(folder.attributes, kAttributeDirectory);
  EXPECT_EQ(folder.name, "Program Files");
  EXPECT_EQ(folder.last_write_time, FileTimeOfUtc(2021, 12, 4, 10, 15));
  const FindData file = Entry("01-31-2024  12:05PM              1234 setup 1.cab");
  EXPECT_EQ(file.size_low, 1234u);
  EXPECT_EQ(file.name, "setup 1.cab");
  EXPECT_EQ(file.last_write_time, FileTimeOfUtc(2024, 1, 31, 12, 5));
  EXPECT_EQ(Entry("01-31-24  12:05AM 1 a").last_write_time, FileTimeOfUtc(2024, 1, 31, 0, 5));
}

// Real lines, as servers and `ls -l` in their locales write them. Now is 2026-12-08 12:00 UTC.
struct ListedLine {
  const char* source;
  std::string line;
  std::string name;
  bool folder;
  std::uint64_t size;
  int year, month, day, hour, minute;
};

const ListedLine kListedLines[] = {
    {"proftpd", "-rw-rw-rw-   1 0        0               6 Dec  8 10:43 a.txt", "a.txt", false, 6,
     2026, 12, 8, 10, 43},
    {"proftpd", "drwxrwxrwx   2 0        0            4096 Dec  8 10:43 sub", "sub", true, 4096,
     2026, 12, 8, 10, 43},
    {"pure-ftpd", "-rw-rw-rw-    1 0          0                   6 Dec  8 10:43 a.txt", "a.txt",
     false, 6, 2026, 12, 8, 10, 43},
    {"vsftpd", "-rw-rw-rw-    1 0        0               6 Dec 08 10:43 a.txt", "a.txt", false, 6,
     2026, 12, 8, 10, 43},
    {"pyftpdlib", "-rw-r--r--   1 root     root           12 Mar 04  2021 readme.txt",
     "readme.txt", false, 12, 2021, 3, 4, 0, 0},
    {"ls long-iso", "-rw-rw-rw- 1 root root    6 2026-12-08 09:34 a.txt", "a.txt", false, 6, 2026,
     12, 8, 9, 34},
    {"ls full-iso", "drwxrwxrwx 2 root root 4096 2005-01-06 12:00:00.000000000 +0000 sub", "sub",
     true, 4096, 2005, 1, 6, 12, 0},
    {"ls iso, recent", "-rw-rw-rw- 1 root root    6 12-08 09:34 a.txt", "a.txt", false, 6, 2026,
     12, 8, 9, 34},
    {"ls iso, old", "drwxrwxrwx 2 root root 4096 2005-01-06  sub", "sub", true, 4096, 2005, 1, 6,
     0, 0},
    {"ls ko_KR", "-rw-rw-rw- 1 root root    6 12월  8일  09:34 a.txt", "a.txt", false, 6, 2026, 12,
     8, 9, 34},
    {"ls ko_KR, old", "drwxrwxrwx 2 root root 4096 2005년  1월  6일 sub", "sub", true, 4096, 2005,
     1, 6, 0, 0},
    {"ko_KR without 일", "-rw-r--r--   1 ftp ftp  1024 12월  8 09:34 진료.cab", "진료.cab", false,
     1024, 2026, 12, 8, 9, 34},
    {"ko_KR in CP949", "-rw-r--r-- 1 ftp ftp 7 12\xBF\xF9  8\xC0\xCF 09:34 \xB9\xF6\xC0\xFC.cab",
     "\xB9\xF6\xC0\xFC.cab", false, 7, 2026, 12, 8, 9, 34},
    {"day before month", "-rw-r--r-- 1 user group 1234 8 Dec 09:34 tag.txt", "tag.txt", false,
     1234, 2026, 12, 8, 9, 34},
    {"day before month, year", "-rw-r--r-- 1 0 0 12 08 Dec. 2021 old.txt", "old.txt", false, 12,
     2021, 12, 8, 0, 0},
    {"24:00", "-rw-r--r-- 1 0 0 5 Dec  7 24:00 midnight.txt", "midnight.txt", false, 5, 2026, 12,
     8, 0, 0},
    {"9-character mode", "drwxr-xr- 2 0 0 512 Jan 01  2020 nine", "nine", true, 512, 2020, 1, 1, 0,
     0},
    {"mode without type", "rw-r--r-- 1 0 0 3 Jan 01  2020 plain.txt", "plain.txt", false, 3, 2020,
     1, 1, 0, 0},
    {"mode with ACL mark", "-rw-r--r--+ 1 0 0 3 Jan 01  2020 acl.txt", "acl.txt", false, 3, 2020, 1,
     1, 0, 0},
    {"ls -p", "drwxrwxrwx 2 root root 4096 Jan  6  2005 sub/", "sub", true, 4096, 2005, 1, 6, 0, 0},
    {"IIS", "02-05-2013  10:23AM       <DIR>          aspnet_client", "aspnet_client", true, 0,
     2013, 2, 5, 10, 23},
    {"IIS, 4-digit year", "12-08-2026  09:34PM              5000000000 big.iso", "big.iso", false,
     5000000000ULL, 2026, 12, 8, 21, 34},
    {"IIS, 2-digit year, folder marked", "12-08-26  09:34AM       <DIR>          program/",
     "program", true, 0, 2026, 12, 8, 9, 34},
    {"DOS, ISO date", "2026-12-08  09:34       <DIR>          system", "system", true, 0, 2026, 12,
     8, 9, 34},
};

TEST(ListParser, RealLinesOfEveryForm) {
  for (const ListedLine& row : kListedLines) {
    SCOPED_TRACE(std::string(row.source) + ": " + row.line);
    const ParsedListLine parsed = ParseListLine(row.line + "\r", kNow);
    ASSERT_EQ(parsed.kind, ListLineKind::kEntry);
    EXPECT_EQ(parsed.data.name, row.name);
    EXPECT_EQ(parsed.data.attributes, row.folder ? kAttributeDirectory : kAttributeNormal);
    EXPECT_EQ((std::uint64_t{parsed.data.size_high} << 32) | parsed.data.size_low, row.size);
    EXPECT_EQ(parsed.data.last_write_time,
              FileTimeOfUtc(row.year, row.month, row.day, row.hour, row.minute));
  }
}

TEST(ListParser, DevicesBlockCountsAndEscapingNamesAreUnderstoodButNoEntries) {
  for (const char* line : {"crw-rw-rw- 1 root root 1, 3 Dec  7 14:14 null",
                           "brw-rw---- 1 root disk 8,0 Dec  7 14:14 sda", "합계 8",
                           // a name that would leave the folder: skipped, never an entry
                           "-rw-r--r-- 1 0 0 12 Mar 04  2021 sub/escape.txt",
                           "total 48"}) {
    EXPECT_EQ(ParseListLine(line, kNow).kind, ListLineKind::kIgnorable) << line;
  }
}

TEST(ListParser, LinesThatAreNoEntries) {
  EXPECT_EQ(ParseListLine("total 48", kNow).kind, ListLineKind::kIgnorable);
  EXPECT_EQ(ParseListLine("   ", kNow).kind, ListLineKind::kIgnorable);
  for (const char* line : {
           "modify=20210304;perm=r;size=12; readme.txt",       // a machine listing line
           "-rw-r--r-- 1 0 0 12 Foo 04  2021 readme.txt",      // no month
           "-rw-r--r-- 1 0 0 12 Mar 04  2021 ",                 // no name
           "13-45-21  10:15AM  <DIR> bad date",
           "-rw-r--r-- 1 0 0 5 Dec  7 24:01 late.txt",          // no such time
           "-rw-r--r-- 1 0 0 5 13월  7 10:00 month13.txt",      // no such month
           "-rwxrwxrwxrwx 1 0 0 5 Dec  7 10:00 mode.txt",       // a mode of 12 characters
       }) {
    EXPECT_EQ(ParseListLine(line, kNow).kind, ListLineKind::kUnknown) << line;
  }
}

TEST(ListParser, FiltersMatchLikeTheirWindowsCounterparts) {
  EXPECT_TRUE(FilterMatches("*.*", "noextension"));
  EXPECT_TRUE(FilterMatches("", "x"));
  EXPECT_TRUE(FilterMatches("*.CAB", "setup.cab"));
  EXPECT_TRUE(FilterMatches("set?p*.cab", "SETUP-1.cab"));
  EXPECT_FALSE(FilterMatches("*.cab", "setup.cab.bak"));
  EXPECT_TRUE(FilterMatches("five.txt", "FIVE.TXT"));
  EXPECT_FALSE(FilterMatches("five.txt", "five.txt2"));
}

}  // namespace
}  // namespace quillmend::inet::posix

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

TEST(ListParser, LinesThatAreNoEntries) {
  EXPECT_EQ(ParseListLine("total 48", kNow).kind, ListLineKind::kIgnorable);
  EXPECT_EQ(ParseListLine("   ", kNow).kind, ListLineKind::kIgnorable);
  for (const char* line : {
           "modify=20210304;perm=r;size=12; readme.txt",       // a machine listing line
           "-rw-r--r-- 1 0 0 12 Foo 04  2021 readme.txt",      // no month
           "-rw-r--r-- 1 0 0 12 Mar 04  2021 ",                 // no name
           "-rw-r--r-- 1 0 0 12 Mar 04  2021 sub/escape.txt",  // a name with a separator
           "13-45-21  10:15AM  <DIR> bad date",
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

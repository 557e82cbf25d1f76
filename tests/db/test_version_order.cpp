// The order of version texts: whole-number parts, parts with letters, long and short forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/version_order.h"

namespace quillmend::testing {
namespace {

struct Pair {
  const char* older;
  const char* newer;
};

TEST(VersionOrder, PartsCompareAsWholeNumbers) {
  const std::vector<Pair> pairs = {
      {"7.5.9", "7.5.10"},    {"7.5.2", "7.5.12"},     {"7.5.12", "7.5.13"},
      {"7.5.99", "7.6.0"},    {"7.9.9", "8.0.0"},      {"9.9.9", "10.0.0"},
      {"2.9", "2.10"},        {"7.5", "7.5.0"},        {"7.5.13", "7.5.13a"},
      {"7.5.13a", "7.5.13b"}, {"7.5.13b", "7.5.14"},   {"7.5.x", "7.5.0"},
      {"", "1.0"},            {"1.0", "7.5.12"},
      {"7.5.18446744073709551615", "7.5.18446744073709551616"},  // wider than any machine word
  };
  for (const Pair& p : pairs) {
    EXPECT_LT(CompareVersions(p.older, p.newer), 0) << p.older << " < " << p.newer;
    EXPECT_GT(CompareVersions(p.newer, p.older), 0) << p.newer << " > " << p.older;
    EXPECT_TRUE(IsNewerVersion(p.newer, p.older)) << p.newer << " newer than " << p.older;
    EXPECT_FALSE(IsNewerVersion(p.older, p.newer)) << p.older << " not newer than " << p.newer;
  }
}

TEST(VersionOrder, TheSameVersionIsNeverNewer) {
  const std::vector<Pair> same = {
      {"7.5.10", "7.5.10"}, {"7.5.010", "7.5.10"}, {" 7.5.10  ", "7.5.10"},
      {"7. 5 .10", "7.5.10"}, {"2013.1.1", "2013.1.1"}, {"7.5.13a", "7.5.13a"}, {"", ""},
  };
  for (const Pair& p : same) {
    EXPECT_EQ(CompareVersions(p.older, p.newer), 0) << p.older << " = " << p.newer;
    EXPECT_FALSE(IsNewerVersion(p.older, p.newer)) << p.older << " vs " << p.newer;
    EXPECT_FALSE(IsNewerVersion(p.newer, p.older)) << p.newer << " vs " << p.older;
  }
}

TEST(VersionOrder, LongFormVersionsComeAfterEveryShortForm) {
  EXPECT_TRUE(IsLongFormVersion("2013.1.1"));
  EXPECT_TRUE(IsLongFormVersion("100.0.1"));
  EXPECT_TRUE(IsLongFormVersion(" 007.1"));
  EXPECT_FALSE(IsLongFormVersion("99.9.9"));
  EXPECT_FALSE(IsLongFormVersion("7.5.12"));
  EXPECT_FALSE(IsLongFormVersion(""));
  // An installed short form takes any long-form candidate as newer.
  EXPECT_TRUE(IsNewerVersion("2013.1.1", "7.5.12"));
  EXPECT_TRUE(IsNewerVersion("100.0.1", "99.9.9"));
  EXPECT_TRUE(IsNewerVersion("007.1", "99.9"));
  // An installed long form takes only long-form candidates, compared part by part.
  EXPECT_FALSE(IsNewerVersion("7.9.9", "2013.1.5"));
  EXPECT_FALSE(IsNewerVersion("99.9.9", "100.0.1"));
  EXPECT_TRUE(IsNewerVersion("2013.1.6", "2013.1.5"));
  EXPECT_TRUE(IsNewerVersion("2013.10.1", "2013.9.9"));
  EXPECT_TRUE(IsNewerVersion("2014.0.1", "2013.1.5"));
  EXPECT_FALSE(IsNewerVersion("2013.1.4", "2013.1.5"));
}

TEST(VersionOrder, SortingGivesTheInstallationOrder) {
  std::vector<std::string> versions = {"7.5.8",  "2013.1.1", "7.5.10", "7.5.2", "7.6.0",
                                       "7.5.13a", "7.5.9",   "7.5.13", "7.5.11", "7.5.010"};
  SortVersions(versions);
  const std::vector<std::string> expected = {"7.5.2",  "7.5.8",  "7.5.9",   "7.5.10", "7.5.010",
                                             "7.5.11", "7.5.13", "7.5.13a", "7.6.0",  "2013.1.1"};
  EXPECT_EQ(versions, expected);
}

}  // namespace
}  // namespace quillmend::testing

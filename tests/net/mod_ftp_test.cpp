// RunAndWait with real child processes, FileTimeToDate with a fixed local offset.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "net/mod_ftp.h"
#include "platform/components.h"
#include "startup/shared_state.h"
#include "support/temp_folder.h"
#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

struct Window {
  HeadlessHost host{{}, false};
  SharedState state;
  int ticks = 0;
  Window() {
    host.SetEventHook([this] { ++ticks; });
    state.ui_ = &host;
  }
};

TEST(RunAndWait, CommandThatEndsAtOnceTakesOneCycle) {
  Window window;
  RunAndWait(window.state, "true");
  EXPECT_EQ(window.ticks, 1);
}

TEST(RunAndWait, WaitsForTheEndWhileTheWindowKeepsProcessingEvents) {
  Window window;
  testing::TempFolder folder;
  const std::string marker = folder.Sub("done.txt");
  // Quoted argument with a blank: the command line is split by Windows rules.
  RunAndWait(window.state, "sh -c \"sleep 1; echo finished > '" + marker + "'\"");
  EXPECT_TRUE(testing::FileExists(marker));
  EXPECT_EQ(testing::ReadFileBytes(marker), "finished\n");
  // About ten 100 ms cycles; far more than one shows the window was served while waiting.
  EXPECT_GE(window.ticks, 5);
}

TEST(RunAndWait, MissingProgramFailsWithoutWaiting) {
  Window window;
  EXPECT_THROW(RunAndWait(window.state, "/nonexistent/quillmend-no-such-program arg"),
               StartProgramError);
  EXPECT_EQ(window.ticks, 0);
}

TEST(RunAndWait, AProgramThatDoesNotEndWithinTheLimitIsEndedAndFails) {
  Window window;
  testing::TempFolder folder;
  const std::string marker = folder.Sub("pid.txt");
  // A tool that hangs: it would sleep for ten minutes.
  EXPECT_THROW(RunAndWait(window.state, "sh -c \"echo $$ > '" + marker + "'; exec sleep 600\"",
                          1000),
               ProgramTimeoutError);
  EXPECT_GE(window.ticks, 1);  // the window was served while it waited
  // The process is gone (ended and reaped), not left running behind the agent.
  const std::string pid = testing::ReadFileBytes(marker);
  ASSERT_FALSE(pid.empty());
  EXPECT_FALSE(std::filesystem::exists("/proc/" + pid.substr(0, pid.find('\n'))));
}

class FixedZone {
 public:
  explicit FixedZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~FixedZone() {
    if (had_) setenv("TZ", saved_.c_str(), 1); else unsetenv("TZ");
    tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

TEST(FileTimeToDate, ConvertsUtcToLocalDayCount) {
  Window window;
  FixedZone seoul("KST-9");
  // 2000-01-01 00:00 UTC is 09:00 local: day 36526 plus 9/24.
  const FileTime y2k = FileTimeFromUnixSeconds(946684800);
  EXPECT_EQ(y2k, 125911584000000000ULL);
  EXPECT_NEAR(FileTimeToDate(window.state, y2k), 36526.0 + 9.0 / 24.0, 1e-9);
  // File time 0 (1601) is a large negative day count plus the offset, without special cases.
  EXPECT_NEAR(FileTimeToDate(window.state, 0), -109205.0 + 9.0 / 24.0, 1e-9);
  // Milliseconds survive.
  EXPECT_NEAR(FileTimeToDate(window.state, y2k + 5000), 36526.0 + 9.0 / 24.0 + 0.5 / 86400000.0,
              1e-10);
  EXPECT_TRUE(window.host.shown().empty());
}

TEST(FileTimeToDate, WestOfUtcZeroIsPlainArithmeticAndOnlyUnrepresentableTimesShowTheCode) {
  Window window;
  FixedZone west("EST5");
  // File time 0 is 1601-01-01 00:00 UTC, 1600-12-31 19:00 local: five hours below -109205.
  EXPECT_NEAR(FileTimeToDate(window.state, 0), -109205.0 - 5.0 / 24.0, 1e-9);
  EXPECT_TRUE(window.host.shown().empty());
  // A count with the sign bit set cannot be converted: the code, and 0.
  EXPECT_EQ(FileTimeToDate(window.state, 0x8000000000000000ULL), 0.0);
  ASSERT_EQ(window.host.shown().size(), 1u);
  EXPECT_NE(window.host.shown()[0].find("87"), std::string::npos);
}

}  // namespace
}  // namespace quillmend

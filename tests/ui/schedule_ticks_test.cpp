// The schedule, offline and speed timer ticks.
#include <gtest/gtest.h>

#include "ui/speed_text.h"
#include "ui_test_support.h"

namespace quillmend {
namespace {

using testing::WindowFixture;

// Ticks timCheck `count` times and returns the tick numbers (1-based) that started a pass.
std::vector<int> PassesOverTicks(WindowFixture& f, int count) {
  std::vector<int> fired;
  for (int tick = 1; tick <= count; ++tick) {
    const int before = f.passes.autos;
    f.window.timCheck_Timer();
    if (f.passes.autos != before) fired.push_back(tick);
  }
  return fired;
}

TEST(ScheduleTimer, TwoHoursThirtyRunsEvery150TicksAndRestartsTheCount) {
  WindowFixture f;
  f.window.schedule_hours = 2;
  f.window.schedule_minutes = 30;
  EXPECT_EQ(PassesOverTicks(f, 300), (std::vector<int>{150, 300}));
  EXPECT_EQ(f.window.elapsed_hours, 0);
  EXPECT_EQ(f.window.elapsed_minutes, 0);
}

TEST(ScheduleTimer, LabelShowsSixtyBeforeTheHourRollsOver) {
  WindowFixture f;
  f.window.schedule_hours = 2;
  f.window.schedule_minutes = 30;
  PassesOverTicks(f, 59);
  EXPECT_EQ(f.window.Label5.caption, "인터넷 연결(0/59)2시 30 분");
  f.window.timCheck_Timer();
  EXPECT_EQ(f.window.Label5.caption, "인터넷 연결(0/60)2시 30 분");
  EXPECT_EQ(f.window.elapsed_hours, 1);
  EXPECT_EQ(f.window.elapsed_minutes, 0);
  f.window.timCheck_Timer();
  EXPECT_EQ(f.window.Label5.caption, "인터넷 연결(1/1)2시 30 분");
}

TEST(ScheduleTimer, FiftyNineMinutesRunsEvery59Ticks) {
  // A stored 0 minutes arrives here as 59.
  WindowFixture f;
  f.window.schedule_hours = 0;
  f.window.schedule_minutes = 59;
  EXPECT_EQ(PassesOverTicks(f, 180), (std::vector<int>{59, 118, 177}));
}

TEST(ScheduleTimer, SchedulesThatCanNeverMatchNeverRun) {
  // Empty minutes (60), hours past the counter's 24, and values no minute count reaches.
  for (auto [hours, minutes] : {std::pair<short, short>{0, 60}, {25, 0}, {1, -1}, {0, 32767},
                                {-1, 30}, {32767, 32767}}) {
    WindowFixture f;
    f.window.schedule_hours = hours;
    f.window.schedule_minutes = minutes;
    EXPECT_TRUE(PassesOverTicks(f, 3 * 24 * 60).empty()) << hours << "h " << minutes << "m";
    EXPECT_GE(f.window.elapsed_hours, 0);
    EXPECT_LE(f.window.elapsed_hours, 24);
    EXPECT_GE(f.window.elapsed_minutes, 0);
    EXPECT_LE(f.window.elapsed_minutes, 59);
  }
}

TEST(ScheduleTimer, NegativeAndHugeSchedulesAreShownAsStored) {
  WindowFixture f;
  f.window.schedule_hours = -1;
  f.window.schedule_minutes = 32767;
  f.window.timCheck_Timer();
  EXPECT_EQ(f.window.Label5.caption, "인터넷 연결(0/1)-1시 32767 분");
}

TEST(ScheduleTimer, TwentyFourHoursIsTheLongestScheduleThatRuns) {
  WindowFixture f;
  f.window.schedule_hours = 24;
  f.window.schedule_minutes = 0;
  EXPECT_EQ(PassesOverTicks(f, 3000), (std::vector<int>{1440, 2880}));
}

TEST(ScheduleTimer, NoScheduleRunsEveryTickWithoutResettingTheCount) {
  WindowFixture f;
  EXPECT_EQ(PassesOverTicks(f, 3), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(f.window.elapsed_minutes, 3);
}

TEST(ScheduleTimer, ATickThatMatchesWhileAPassRunsIsDeferredUntilThatPassEnds) {
  WindowFixture f;
  f.window.schedule_minutes = 2;
  f.state.pass_running_ = true;
  EXPECT_TRUE(PassesOverTicks(f, 2).empty());
  EXPECT_EQ(f.window.elapsed_minutes, 0);  // the matching branch reset the counters
  EXPECT_TRUE(f.window.pass_owed());
  f.window.Poll();  // still running: the pass waits
  EXPECT_EQ(f.passes.autos, 0);
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), std::nullopt);
  f.state.pass_running_ = false;
  // The loop turns at once and runs the pass, not a whole interval later.
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), 0);
  f.window.Poll();
  EXPECT_EQ(f.passes.autos, 1);
  f.window.Poll();
  EXPECT_EQ(f.passes.autos, 1);  // owed once, run once
  EXPECT_EQ(PassesOverTicks(f, 2), (std::vector<int>{2}));
}

TEST(OfflineTimer, CountsOneToTenAndRunsAPassOnTheTenthTick) {
  WindowFixture f;
  for (int tick = 1; tick <= 10; ++tick) {
    f.window.timCopy_Timer();
    EXPECT_EQ(f.window.Label5.caption, "인터넷 미연결(" + std::to_string(tick) + ")");
    EXPECT_EQ(f.passes.autos, tick == 10 ? 1 : 0);
  }
  EXPECT_EQ(f.window.elapsed_minutes, 0);
}

TEST(OfflineTimer, MinutesLeftByTheScheduleTimerRunAPassAtTheFirstTick) {
  WindowFixture f;
  f.window.elapsed_minutes = 35;
  f.window.timCopy_Timer();
  EXPECT_EQ(f.window.Label5.caption, "인터넷 미연결(36)");
  EXPECT_EQ(f.passes.autos, 1);
  EXPECT_EQ(f.window.elapsed_minutes, 0);
}

TEST(OfflineTimer, TheTenthTickWhileAPassRunsStartsItsPassWhenThatOneEnds) {
  WindowFixture f;
  f.state.pass_running_ = true;
  for (int tick = 1; tick <= 10; ++tick) f.window.timCopy_Timer();
  f.window.Poll();
  EXPECT_EQ(f.passes.autos, 0);
  EXPECT_EQ(f.window.elapsed_minutes, 0);
  f.state.pass_running_ = false;
  f.window.Poll();
  EXPECT_EQ(f.passes.autos, 1);
}

TEST(SpeedTimer, ShowsKilobytesOfTheLastSecondAndEmptiesTheCounter) {
  WindowFixture f;
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "0.0 Kb/s"}, {12800, "12.5 Kb/s"}, {1536, "1.5 Kb/s"}, {1000, "0.98 Kb/s"},
      {1024, "1.0 Kb/s"}, {1048576, "1024.0 Kb/s"}, {5, "0.0 Kb/s"}, {6, "0.01 Kb/s"},
      {2147483647, "2097152.0 Kb/s"}, {-1536, "-1.5 Kb/s"}};
  for (const auto& [bytes, text] : cases) {
    f.state.bytes_counter_ = bytes;
    f.window.timCPS_Timer();
    EXPECT_EQ(f.window.lblCPS.caption, text) << bytes;
    EXPECT_EQ(f.state.bytes_counter_, 0);
  }
}

}  // namespace
}  // namespace quillmend

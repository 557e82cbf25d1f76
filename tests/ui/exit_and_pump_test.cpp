// Timers firing from the pump while work yields, the exit confirmation and unloading.
#include <gtest/gtest.h>

#include <algorithm>

#include "ui_test_support.h"

namespace quillmend {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::WindowFixture;

TEST(TimerPump, FiresAnEnabledTimerOnceEachIntervalAndNeverWhenStopped) {
  WindowFixture f;
  f.window.Load();
  f.window.timCPS.enabled = true;
  f.state.bytes_counter_ = 1536;
  f.window.Poll();  // the pump sees the timer started
  f.clock.Advance(milliseconds(999));
  f.window.Poll();
  EXPECT_EQ(f.window.lblCPS.caption, "");
  f.clock.Advance(milliseconds(1));
  f.window.Poll();
  EXPECT_EQ(f.window.lblCPS.caption, "1.5 Kb/s");
  f.state.bytes_counter_ = 12800;
  f.clock.Advance(seconds(5));  // late: one tick, not five
  f.window.Poll();
  f.window.Poll();
  EXPECT_EQ(f.window.lblCPS.caption, "12.5 Kb/s");
  f.state.bytes_counter_ = 1000;
  f.window.timCPS.enabled = false;
  f.clock.Advance(seconds(2));
  f.window.Poll();
  EXPECT_EQ(f.window.lblCPS.caption, "12.5 Kb/s");
  f.window.timCPS.enabled = true;  // restarted: counts a full interval again
  f.window.Poll();
  f.clock.Advance(milliseconds(500));
  f.window.Poll();
  EXPECT_EQ(f.window.lblCPS.caption, "12.5 Kb/s");
  f.clock.Advance(milliseconds(500));
  f.window.Poll();
  EXPECT_EQ(f.window.lblCPS.caption, "0.98 Kb/s");
}

// An idle loop sleeps until the next tick is due instead of turning every 50 ms.
TEST(TimerPump, TellsHowLongAnIdleLoopMaySleep) {
  WindowFixture f;
  f.window.Load();
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), std::nullopt);
  EXPECT_EQ(f.host.NextTurnMilliseconds(), 1000);
  f.window.timCheck.enabled = true;
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), 0);  // started: the pump must see it first
  EXPECT_EQ(f.host.NextTurnMilliseconds(), 50);
  f.window.Poll();
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), 60000);
  EXPECT_EQ(f.host.NextTurnMilliseconds(), 1000);
  f.window.timCPS.enabled = true;
  f.window.Poll();
  f.clock.Advance(milliseconds(700));
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), 300);
  EXPECT_EQ(f.host.NextTurnMilliseconds(), 300);
  f.clock.Advance(milliseconds(300));
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), 0);  // due
  f.window.timCPS.enabled = false;
  f.window.timCheck.enabled = false;
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), 0);  // stopped: the pump must see it too
  f.window.Poll();
  EXPECT_EQ(f.window.MillisecondsUntilNextTimer(), std::nullopt);
  f.host.SetEventHook([] {});
  EXPECT_EQ(f.host.NextTurnMilliseconds(), 50);
}

TEST(TimerPump, TimersTickWhileAPassYieldsButNeverStartASecondPass) {
  WindowFixture f;
  f.window.Load();
  f.window.timCheck.enabled = true;  // no schedule read: every tick starts the automatic pass
  f.window.timCopy.enabled = true;
  f.window.timCPS.enabled = true;
  std::vector<std::string> speeds;
  f.passes.during_auto = [&] {
    if (f.passes.autos > 1) return;  // the pass that follows is short
    f.state.pass_running_ = true;
    for (int second = 0; second < 600; ++second) {
      f.state.bytes_counter_ = 1024 * (second % 7);
      f.clock.Advance(seconds(1));
      f.host.DoEvents();
      if (speeds.empty() || speeds.back() != f.window.lblCPS.caption) {
        speeds.push_back(f.window.lblCPS.caption);
      }
    }
    f.state.pass_running_ = false;
  };
  f.window.Poll();
  f.clock.Advance(seconds(60));
  f.window.Poll();
  // timCopy ticked ten times inside the pass; its tenth tick's pass followed the first one
  // instead of starting inside it. timCheck did not tick inside its own tick.
  EXPECT_EQ(f.passes.autos, 2);
  EXPECT_FALSE(f.window.pass_owed());
  EXPECT_GE(speeds.size(), 7U);  // the speed kept changing during the pass
  EXPECT_EQ(f.window.Label5.caption.rfind("인터넷 미연결(", 0), 0U);
  f.clock.Advance(seconds(60));
  f.window.Poll();
  EXPECT_EQ(f.passes.autos, 3);
}

TEST(ExitConfirmation, ATimerTickDuringTheQuestionWaitsUntilItIsAnswered) {
  WindowFixture f({false});
  f.window.Load();
  f.window.timCheck.enabled = true;
  f.window.Poll();
  f.host.on_question = [&] {
    // The box's own message loop keeps the timers running.
    f.clock.Advance(seconds(61));
    f.window.Poll();
    f.window.Poll();
    EXPECT_EQ(f.passes.autos, 0);
    EXPECT_EQ(f.window.elapsed_minutes, 0);
    f.window.cmd취소_Click();  // a second 종료 while the box is open is ignored
  };
  f.window.cmd취소_Click();
  EXPECT_EQ(f.host.questions, 1);
  EXPECT_FALSE(f.window.unloaded());
  f.window.Poll();  // answered No: the waiting tick runs now
  EXPECT_EQ(f.passes.autos, 1);
  EXPECT_EQ(f.window.elapsed_minutes, 1);
}

TEST(ExitConfirmation, YesDuringATickStartsNoPassAfterwards) {
  WindowFixture f({true});
  f.window.Load();
  f.window.timCheck.enabled = true;
  f.window.Poll();
  f.host.on_question = [&] {
    f.clock.Advance(seconds(61));
    f.window.Poll();
  };
  f.window.cmd취소_Click();
  f.clock.Advance(seconds(600));
  f.window.Poll();
  f.host.DoEvents();
  EXPECT_EQ(f.passes.autos, 0);
  EXPECT_TRUE(f.window.unloaded());
}

TEST(Unload, YesRemovesTheTrayIconShrinksTheWindowAndEndsTheLoop) {
  WindowFixture f({true});
  f.window.Load();
  f.window.Show();
  f.window.m_viewall();
  f.window.timCheck.enabled = true;
  f.window.cmd취소_Click();
  EXPECT_FALSE(f.host.tray_present());
  EXPECT_TRUE(f.window.unloaded());
  EXPECT_FALSE(f.window.visible);
  EXPECT_FALSE(f.window.timCheck.enabled);
  // The closing animation yielded at every step and ended 30 high and at most 2000 wide,
  // centred on the 1920 x 1080 screen.
  EXPECT_EQ(f.window.height, 30);
  EXPECT_LE(f.window.width, 2000);
  EXPECT_GT(f.window.width, 1900);
  EXPECT_EQ(f.window.left, (1920 * 15 - f.window.width) / 2);
  EXPECT_EQ(f.window.top, (1080 * 15 - 500) / 2);
  EXPECT_EQ(f.host.do_events, 75 + 49);
  EXPECT_EQ(f.host.RunLoop(), 0);
  f.window.cmd취소_Click();  // after unloading nothing asks again
  f.window.TrayCallback(kTrayLeftButtonUp);
  EXPECT_EQ(f.host.questions, 1);
  EXPECT_FALSE(f.window.visible);
}

TEST(Unload, TheCloseBoxAsksTheSameQuestion) {
  WindowFixture f({false, true});
  f.window.Load();
  f.window.Show();
  EXPECT_FALSE(f.window.Form_QueryUnload());
  EXPECT_TRUE(f.window.visible);
  EXPECT_TRUE(f.window.Form_QueryUnload());
  EXPECT_FALSE(f.host.tray_present());
}

TEST(Unload, ExitConfirmedWhileAPassYieldsLetsThePassUnwindThenEndsTheLoop) {
  WindowFixture f({true});
  f.window.Load();
  f.window.Show();
  f.state.g_ContinueUpdate = true;
  int yields_after_exit = 0;
  bool saw_stop = false;
  f.passes.during_auto = [&] {
    f.state.pass_running_ = true;
    for (int step = 0; step < 20; ++step) {
      if (step == 5) {
        f.host.menu_choice = 1;
        f.window.TrayCallback(kTrayRightButtonUp);  // 종료 from the tray menu
      }
      f.window.lblFile.caption = "file" + std::to_string(step);
      f.window.ShowPercent(step, 20);
      f.host.DoEvents();
      if (f.window.unloaded()) ++yields_after_exit;
      if (!f.state.g_ContinueUpdate) saw_stop = true;
    }
    f.state.pass_running_ = false;
  };
  f.window.cmdAuto_Click();
  EXPECT_EQ(yields_after_exit, 15);
  EXPECT_TRUE(saw_stop);
  EXPECT_FALSE(f.host.tray_present());
  EXPECT_TRUE(f.host.quit_requested());
  EXPECT_EQ(f.host.RunLoop(), 0);  // returns at once: the exit came before the loop
}

TEST(HeadlessStateLines, PrintedOnlyWhenTheyChange) {
  WindowFixture f;
  f.host.SetPrintStateLines(true);
  f.window.Load();
  f.window.Show();
  f.host.DoEvents();
  f.window.lblCaption[0].caption = "최신 프로그램을 설치중입니다.";
  f.window.lblCaption[1].caption = "잠시만 기다려 주십시오.";
  f.window.lblCounter.caption = "1/3";
  f.state.bytes_counter_ = 12800;
  f.window.timCPS_Timer();
  f.host.DoEvents();
  f.host.DoEvents();
  f.window.ShowLatestInstalled();
  f.host.DoEvents();
  const std::vector<std::string> expected = {
      "lblCaption(0): 최신 버전 설치가 완료되었습니다",
      "tray: 쿠벨IT(주) 자동다운로드",
      "window: shown",
      "lblCaption(0): 최신 프로그램을 설치중입니다.",
      "lblCaption(1): 잠시만 기다려 주십시오.",
      "lblCounter: 1/3",
      "lblCPS: 12.5 Kb/s",
      "lblCaption(0): 최신 버전 설치가 완료되었습니다",
      "lblCaption(1): ",
      "lblCounter: ",
  };
  EXPECT_EQ(f.host.state_lines(), expected);
}

}  // namespace
}  // namespace quillmend

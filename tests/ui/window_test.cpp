// The window's load, views, shortcuts, tray record and callback, and the display methods.
#include <gtest/gtest.h>

#include "ui/tray_record.h"
#include "ui_test_support.h"

namespace quillmend {
namespace {

using testing::WindowFixture;

struct Buttons {
  bool ver, apply, down, copy, labels;
};
Buttons Seen(const FrmFiles& w) {
  const bool labels = w.Label5.visible && w.Label6.visible && w.lbl고객.visible;
  EXPECT_EQ(labels, w.Label5.visible || w.Label6.visible || w.lbl고객.visible)
      << "the three status labels are shown and hidden together";
  return {w.cmdVer.visible, w.cmdApply.visible, w.cmdDown.visible, w.cmdCopy.visible, labels};
}
bool operator==(const Buttons& a, const Buttons& b) {
  return a.ver == b.ver && a.apply == b.apply && a.down == b.down && a.copy == b.copy &&
         a.labels == b.labels;
}
const Buttons kSmall{false, false, false, false, false};
const Buttons kVersion{true, true, false, false, false};
const Buttons kAll{true, true, true, true, true};

TEST(WindowLoad, StartsCompactAtTheLowerRightWithTheTrayIconAndStoppedTimers) {
  WindowFixture f;
  f.window.Load();
  EXPECT_EQ(f.window.caption.rfind("쿠벨IT(주) 자동다운로드 Ver ", 0), 0U);
  EXPECT_EQ(f.window.height, 2500);
  EXPECT_TRUE(Seen(f.window) == kSmall);
  EXPECT_TRUE(f.window.cmdAuto.visible && f.window.cmd취소.visible);
  EXPECT_TRUE(f.host.tray_present());
  EXPECT_EQ(f.host.tray_tip(), "쿠벨IT(주) 자동다운로드");
  EXPECT_EQ(f.window.tray_record().uID, 1U);
  EXPECT_EQ(f.window.tray_record().uFlags, 7U);
  // Inside the work area (1920 x 1040 px), touching its lower right corner.
  EXPECT_EQ(PixelsFromTwips(f.window.left) + PixelsFromTwips(f.window.width), 1920);
  EXPECT_EQ(PixelsFromTwips(f.window.top) + PixelsFromTwips(f.window.height), 1040);
  EXPECT_FALSE(f.window.timCheck.enabled || f.window.timCopy.enabled || f.window.timCPS.enabled);
  EXPECT_EQ(f.window.lblCaption[0].caption, "최신 버전 설치가 완료되었습니다");
}

TEST(WindowLoad, OverallBarZeroOfZeroKeepsItsMaximumAndShowsZero) {
  WindowFixture f;
  f.window.Load();
  EXPECT_EQ(f.window.prgAll.min, 0.0F);
  EXPECT_EQ(f.window.prgAll.max, 100.0F);
  EXPECT_EQ(f.window.prgAll.value, 0.0F);
  EXPECT_EQ(f.window.prgFile.value, 100.0F);
}

TEST(ShowPercent, FilesOfAVersionThenPastTheListAndRefusedValues) {
  WindowFixture f;
  f.window.Load();
  f.window.ShowPercent(1, 3);
  EXPECT_EQ(f.window.prgAll.max, 3.0F);
  EXPECT_EQ(f.window.prgAll.value, 1.0F);
  f.window.ShowPercent(4, 4);
  EXPECT_EQ(f.window.prgAll.max, 4.0F);
  EXPECT_EQ(f.window.prgAll.value, 4.0F);
  f.window.ShowPercent(9, 2);  // value past the maximum: the maximum is taken, the value not
  EXPECT_EQ(f.window.prgAll.max, 2.0F);
  EXPECT_EQ(f.window.prgAll.value, 2.0F);
  f.window.ShowPercent(-1, -5);
  EXPECT_EQ(f.window.prgAll.max, 2.0F);
  EXPECT_GE(f.window.prgAll.value, f.window.prgAll.min);
  f.window.ShowLatestInstalled();
  EXPECT_EQ(f.window.prgAll.max, 100.0F);
  EXPECT_EQ(f.window.prgAll.value, 100.0F);
}

TEST(Views, EachRoutineShowsItsButtonsAndHeight) {
  WindowFixture f;
  f.window.Load();
  f.window.m_viewversion();
  EXPECT_TRUE(Seen(f.window) == kVersion);
  EXPECT_EQ(f.window.height, 8000);
  f.window.m_viewall();
  EXPECT_TRUE(Seen(f.window) == kAll);
  EXPECT_EQ(f.window.height, 8000);
  f.window.m_viewversion();  // hides the second row again but leaves the labels
  EXPECT_FALSE(f.window.cmdDown.visible || f.window.cmdCopy.visible);
  EXPECT_TRUE(f.window.Label5.visible);
  f.window.m_viewsmall();
  EXPECT_TRUE(Seen(f.window) == kSmall);
  EXPECT_EQ(f.window.height, 2500);
}

TEST(Views, TheTallViewGrowsUpwardsAndStaysInTheWorkArea) {
  WindowFixture f;
  f.window.Load();
  f.window.m_viewall();
  EXPECT_EQ(PixelsFromTwips(f.window.top) + PixelsFromTwips(f.window.height), 1040);
  EXPECT_GE(f.window.top, 0);
}

TEST(Shortcuts, CtrlFunctionKeysChooseTheViewsAndOtherKeysDoNothing) {
  WindowFixture f;
  f.window.Load();
  f.window.Form_KeyDown(kKeyF10, 0);
  f.window.Form_KeyDown(kKeyF9, kShiftMask);
  f.window.Form_KeyDown(kKeyF10, kAltMask);
  f.window.Form_KeyDown(0x7B /* F12 */, kCtrlMask);
  f.window.Form_KeyDown('A', kCtrlMask);
  EXPECT_TRUE(Seen(f.window) == kSmall);
  f.window.Form_KeyDown(kKeyF9, kCtrlMask);
  EXPECT_TRUE(Seen(f.window) == kVersion);
  f.window.Form_KeyDown(kKeyF10, kCtrlMask | kShiftMask);
  EXPECT_TRUE(Seen(f.window) == kAll);
  f.window.Form_KeyDown(kKeyF11, kCtrlMask);
  EXPECT_TRUE(Seen(f.window) == kSmall);
}

TEST(Shortcuts, DoubleClicksOnTheBarCaptions) {
  WindowFixture f;
  f.window.Load();
  f.window.Form_KeyDown(kKeyF10, kCtrlMask);
  f.window.Label2_DblClick();  // 전체 with cmdVer shown: back to compact
  EXPECT_TRUE(Seen(f.window) == kSmall);
  f.window.Label2_DblClick();  // and again: everything
  EXPECT_TRUE(Seen(f.window) == kAll);
  f.window.Label3_DblClick();
  EXPECT_TRUE(Seen(f.window) == kSmall);
  f.window.Label4_DblClick();
  EXPECT_TRUE(Seen(f.window) == kVersion);
  f.window.Label2_DblClick();
  EXPECT_TRUE(Seen(f.window) == kSmall);
}

TEST(TrayTip, CutToTheFieldWithoutSplittingCharacters) {
  WindowFixture f;
  f.window.Load();
  const std::string ascii200(200, 'x');
  f.window.SetTrayTip(ascii200);
  EXPECT_EQ(f.host.tray_tip(), std::string(63, 'x'));
  std::string hangul200;
  for (int i = 0; i < 200; ++i) hangul200 += "가";
  f.window.SetTrayTip(hangul200);
  std::string hangul63;
  for (int i = 0; i < 63; ++i) hangul63 += "가";
  EXPECT_EQ(f.host.tray_tip(), hangul63);
  f.window.SetTrayTip(std::string(63, 'y'));
  EXPECT_EQ(f.host.tray_tip(), std::string(63, 'y'));
  f.window.SetTrayTip(std::string(64, 'z'));
  EXPECT_EQ(f.host.tray_tip(), std::string(63, 'z'));
  f.window.SetTrayTip("최신 프로그램 다운로드 중입니다");
  EXPECT_EQ(f.host.tray_tip(), "최신 프로그램 다운로드 중입니다");
  EXPECT_EQ(f.window.tray_record().szTip, f.host.tray_tip());
  // A sequence cut short at the end of the text is dropped, never kept half.
  EXPECT_EQ(CutToTrayTip("ab\xEA\xB0"), "ab");
}

TEST(TrayCallback, ClicksRestoreTheWindowAndTheRightButtonOpensTheMenu) {
  WindowFixture f;
  f.window.Load();
  for (int message : {kTrayLeftButtonUp, kTrayLeftDoubleClick}) {
    f.window.Minimize();
    ASSERT_FALSE(f.window.visible);
    f.window.TrayCallback(message);
    EXPECT_TRUE(f.window.visible) << message;
    EXPECT_FALSE(f.window.minimized) << message;
  }
  EXPECT_EQ(f.host.brought_to_front, 2);
  for (int message : {512, 513, 516, 518, 519, 0, -514}) f.window.TrayCallback(message);
  f.window.Minimize();
  for (int message : {512, 513, 516, 518, 519, 0, -514}) f.window.TrayCallback(message);
  EXPECT_FALSE(f.window.visible);
  EXPECT_TRUE(f.host.menus.empty());
  EXPECT_EQ(f.host.brought_to_front, 2);

  f.window.TrayCallback(kTrayRightButtonUp);  // dismissed: nothing else happens
  ASSERT_EQ(f.host.menus.size(), 1U);
  EXPECT_EQ(f.host.menus[0], (std::vector<std::string>{"다운로드창열기", "종료"}));
  EXPECT_FALSE(f.window.visible);
  f.host.menu_choice = 0;
  f.window.TrayCallback(kTrayRightButtonUp);
  EXPECT_TRUE(f.window.visible);
}

TEST(TrayCallback, TheMenuExitAsksAndNoKeepsEverything) {
  WindowFixture f({false});
  f.window.Load();
  f.host.menu_choice = 1;
  f.window.TrayCallback(kTrayRightButtonUp);
  ASSERT_EQ(f.host.shown().size(), 1U);
  EXPECT_EQ(f.host.shown()[0], f.window.caption + ": 자동다운로드가 취소됩니다.종료하시겠습니까?");
  EXPECT_TRUE(f.host.tray_present());
  EXPECT_FALSE(f.window.unloaded());
  EXPECT_FALSE(f.host.quit_requested());
}

TEST(Minimise, HidesWhenATrayIconCanBringItBackOnly) {
  WindowFixture f;
  f.window.Load();
  f.window.Show();
  f.window.minimized = true;  // minimised by its title bar, reported by the adapter
  f.window.Form_Resize();
  EXPECT_FALSE(f.window.visible);
  EXPECT_TRUE(f.host.tray_present());

  WindowFixture no_tray;
  no_tray.host.has_tray = false;
  no_tray.window.Load();
  no_tray.window.Show();
  no_tray.window.Minimize();
  EXPECT_TRUE(no_tray.window.visible);
}

TEST(Buttons, PressesThatWouldStartASecondPassAreRefused) {
  WindowFixture f;
  f.window.Load();
  f.state.pass_running_ = true;
  for (WindowButton b : {WindowButton::cmdAuto, WindowButton::cmdDown, WindowButton::cmdCopy,
                         WindowButton::cmdApply}) {
    f.window.ClickButton(b);
  }
  EXPECT_EQ(f.passes.autos + f.passes.downs + f.passes.copies + f.passes.applies, 0);
  f.window.ClickButton(WindowButton::cmdVer);
  EXPECT_EQ(f.passes.versions, 1);
  f.state.pass_running_ = false;
  f.window.ClickButton(WindowButton::cmdDown);
  f.window.ClickButton(WindowButton::cmdCopy);
  EXPECT_EQ(f.passes.downs, 1);
  EXPECT_EQ(f.passes.copies, 1);
}

}  // namespace
}  // namespace quillmend

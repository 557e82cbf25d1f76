#include "ui/frm_files.h"

#include <algorithm>
#include <cmath>

#include "program_version.h"
#include "startup/diagnostics.h"

namespace quillmend {
namespace {

// Whole-number rounding of the platform's conversions (halves to even).
int RoundWhole(double value) { return static_cast<int>(std::nearbyint(value)); }

}  // namespace

std::string MainWindowCaption() {
  return "쿠벨IT(주) 자동다운로드 Ver " + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

FrmFiles::FrmFiles(SharedState& state, UiHost& host) : state_(state), host_(host) {
  cmdVer = {"버전찾기", false};
  cmdApply = {"강제다운로드", false};
  cmdAuto = {"자동다운로드", true};
  cmdDown = {"쿠벨다운로드", false};
  cmdCopy = {"서버다운로드", false};
  cmd취소 = {"종료", true};
  Label2 = {"전체", true};
  Label3 = {"파일", true};
  Label4 = {"속도", true};
  lblCaption[0] = {"필요한 파일을 다운로드 중입니다.", true};
  lblCaption[1] = {"잠시만 기다려 주십시오.", true};
  Label5.visible = false;
  Label6.visible = false;
  lbl고객.visible = false;
  lvwProcesses.columns = {"Filename", "Process ID"};
  timCheck.interval_ms = 60000;
  timCopy.interval_ms = 60000;
  timCPS.interval_ms = 1000;
  caption = MainWindowCaption();
  pump_.Add(timCheck, [this] { return CheckTick(); });
  pump_.Add(timCopy, [this] { return CopyTick(); });
  pump_.Add(timCPS, [this] {
    timCPS_Timer();
    return true;
  });
  host_.AttachWindow(this);
}

FrmFiles::~FrmFiles() { host_.AttachWindow(nullptr); }

void FrmFiles::Load() {
  caption = MainWindowCaption();
  height = kCompactHeight;
  ShowLatestInstalled();
  tray_.szTip = kDefaultTrayTip;
  tray_.hWnd = host_.NativeWindow();
  tray_.hIcon = host_.WindowIcon();
  host_.TrayAdd(tray_.szTip);
  tray_added_ = true;
  // The lower right corner of the work area, where the tray icon that restores it sits.
  const ScreenMetrics screen = host_.Screen();
  left = TwipsFromPixels(std::max(screen.work_left, screen.work_right - PixelsFromTwips(width)));
  top = TwipsFromPixels(std::max(screen.work_top, screen.work_bottom - PixelsFromTwips(height)));
  minimized = false;
  ShowPercent(0, 0);
  loaded_ = true;
  unloaded_ = false;
}

void FrmFiles::Show() {
  if (unloaded_) return;
  visible = true;
  minimized = false;
}

void FrmFiles::Hide() { visible = false; }

void FrmFiles::Minimize() {
  minimized = true;
  Form_Resize();
}

void FrmFiles::ShowLatestInstalled() {
  lblCounter.caption.clear();
  lblFile.caption.clear();
  prgAll.max = 100;
  prgAll.value = 100;
  prgFile.max = 100;
  prgFile.value = 100;
  lblCaption[0].caption = "최신 버전 설치가 완료되었습니다";
  lblCaption[1].caption.clear();
}

void FrmFiles::ShowPercent(double lPerc, double lMax) {
  // Each setting is tried on its own; one the bar refuses (a maximum of 0) leaves the others.
  prgAll.SetMin(0.0F);
  prgAll.SetMax(static_cast<float>(lMax));
  prgAll.SetValue(static_cast<float>(lPerc));
}

void FrmFiles::SetTrayTip(const std::string& text) {
  tray_.szTip = CutToTrayTip(text);
  host_.TrayModify(tray_.szTip);
}

bool FrmFiles::PassRunning(const char* what) {
  if (!state_.pass_running_) return false;
  LogLine(std::string(what) + ": a pass is running; this one is not started");
  return true;
}

bool FrmFiles::PassesConnected() {
  if (passes_ != nullptr) return true;
  if (!told_no_passes_) LogLine("the update passes are not connected to the window");
  told_no_passes_ = true;
  return false;
}

void FrmFiles::cmdAuto_Click() {
  if (PassesConnected()) passes_->Auto();
}
void FrmFiles::cmdDown_Click() {
  if (PassesConnected()) passes_->Down();
}
void FrmFiles::cmdCopy_Click() {
  if (PassesConnected()) passes_->Copy();
}
void FrmFiles::cmdApply_Click() {
  if (PassesConnected()) passes_->Apply();
}
void FrmFiles::cmdVer_Click() {
  if (PassesConnected()) passes_->Versions();
}

void FrmFiles::cmd취소_Click() {
  if (unloading_ || unloaded_ || exit_question_open_) return;
  exit_question_open_ = true;
  const bool yes = host_.AskYesNo(caption, kExitQuestion);
  exit_question_open_ = false;
  if (yes) Unload();
}

void FrmFiles::ClickButton(WindowButton button) {
  if (unloaded_) return;
  switch (button) {
    case WindowButton::cmdVer:
      cmdVer_Click();
      break;
    case WindowButton::cmdApply:
      if (!PassRunning("강제다운로드")) cmdApply_Click();
      break;
    case WindowButton::cmdAuto:
      if (!PassRunning("자동다운로드")) cmdAuto_Click();
      break;
    case WindowButton::cmdDown:
      if (!PassRunning("쿠벨다운로드")) cmdDown_Click();
      break;
    case WindowButton::cmdCopy:
      if (!PassRunning("서버다운로드")) cmdCopy_Click();
      break;
    case WindowButton::cmd취소:
      cmd취소_Click();
      break;
  }
}

void FrmFiles::SetHeight(int new_height) {
  height = new_height;
  KeepOnWorkArea();
}

void FrmFiles::KeepOnWorkArea() {
  // A taller view grows upwards when it would leave the bottom of the work area.
  const ScreenMetrics screen = host_.Screen();
  const int height_pixels = PixelsFromTwips(height);
  if (PixelsFromTwips(top) + height_pixels > screen.work_bottom) {
    top = TwipsFromPixels(std::max(screen.work_top, screen.work_bottom - height_pixels));
  }
}

void FrmFiles::m_viewversion() {
  cmdVer.visible = true;
  cmdApply.visible = true;
  cmdDown.visible = false;
  cmdCopy.visible = false;
  SetHeight(kTallHeight);
}

void FrmFiles::m_viewall() {
  cmdVer.visible = true;
  cmdApply.visible = true;
  cmdDown.visible = true;
  cmdCopy.visible = true;
  Label5.visible = true;
  Label6.visible = true;
  lbl고객.visible = true;
  SetHeight(kTallHeight);
}

void FrmFiles::m_viewsmall() {
  cmdVer.visible = false;
  cmdApply.visible = false;
  cmdDown.visible = false;
  cmdCopy.visible = false;
  Label5.visible = false;
  Label6.visible = false;
  lbl고객.visible = false;
  SetHeight(kCompactHeight);
}

void FrmFiles::Form_KeyDown(int key_code, int shift) {
  if ((shift & kCtrlMask) == 0) return;
  switch (key_code) {
    case kKeyF9:
      m_viewversion();
      break;
    case kKeyF10:
      m_viewall();
      break;
    case kKeyF11:
      m_viewsmall();
      break;
    default:
      break;
  }
}

void FrmFiles::Label2_DblClick() {
  if (cmdVer.visible) {
    m_viewsmall();
  } else {
    m_viewall();
  }
}

void FrmFiles::Label3_DblClick() { m_viewsmall(); }

void FrmFiles::Label4_DblClick() { m_viewversion(); }

void FrmFiles::TrayCallback(int mouse_message) {
  if (unloaded_) return;
  switch (TrayActionFor(mouse_message)) {
    case TrayAction::Restore:
      mPopRestore_Click();
      break;
    case TrayAction::PopupMenu: {
      host_.BringToFront();
      const int chosen = host_.PopupMenu({kTrayMenuRestore, kTrayMenuExit});
      if (chosen == 0) mPopRestore_Click();
      if (chosen == 1) mPopExit_Click();
      break;
    }
    case TrayAction::None:
      break;
  }
}

void FrmFiles::mPopRestore_Click() {
  if (unloaded_) return;
  minimized = false;
  visible = true;
  host_.BringToFront();
}

void FrmFiles::mPopExit_Click() { cmd취소_Click(); }

void FrmFiles::Form_Resize() {
  if (minimized && host_.HasTray()) visible = false;
}

bool FrmFiles::Form_QueryUnload() {
  cmd취소_Click();
  return unloaded_;
}

void FrmFiles::Unload() {
  if (unloading_ || unloaded_) return;
  unloading_ = true;
  // Nothing may start another pass from here on, and a pass that yields stops at its next
  // check of the flag.
  timCheck.enabled = false;
  timCopy.enabled = false;
  timCPS.enabled = false;
  state_.g_ContinueUpdate = false;
  if (tray_added_) {
    host_.TrayDelete();
    tray_added_ = false;
  }
  if (visible && !minimized) ShrinkWindow();
  visible = false;
  unloaded_ = true;
  unloading_ = false;
  host_.Quit();
}

void FrmFiles::ShrinkWindow() {
  const ScreenMetrics screen = host_.Screen();
  const int screen_height = TwipsFromPixels(screen.screen_height);
  const int screen_width = TwipsFromPixels(screen.screen_width);
  const int height_steps = RoundWhole(height / 2.0);
  for (int i = 0; i < height_steps; ++i) {
    host_.DoEvents();
    height -= 100;
    top = (screen_height - height) / 2;
    if (height <= 500) break;
  }
  height = 30;
  const int width_steps = RoundWhole(width / 2.0);
  for (int i = 0; i < width_steps; ++i) {
    host_.DoEvents();
    width -= 100;
    left = (screen_width - width) / 2;
    if (width <= 2000) break;
  }
}

}  // namespace quillmend

// frmFiles: the main window's state and logic, independent of any toolkit. Adapters render the
// public state and report input through the event methods below; subsystems write the controls
// and call the display methods. Everything runs on the one UI thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "startup/shared_state.h"
#include "ui/controls.h"
#include "ui/timer_pump.h"
#include "ui/tray_record.h"
#include "ui/ui_host.h"
#include "ui/update_passes.h"
#include "ui/window_geometry.h"

namespace quillmend {

// Key codes and the Ctrl mask of Form_KeyDown (the platform's virtual-key codes).
inline constexpr int kKeyF9 = 0x78;
inline constexpr int kKeyF10 = 0x79;
inline constexpr int kKeyF11 = 0x7A;
inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

inline constexpr const char* kExitQuestion = "자동다운로드가 취소됩니다.종료하시겠습니까?";
inline constexpr const char* kDefaultTrayTip = "쿠벨IT(주) 자동다운로드";
inline constexpr const char* kTrayMenuRestore = "다운로드창열기";
inline constexpr const char* kTrayMenuExit = "종료";

// The buttons a person can press (adapters report presses through ClickButton).
enum class WindowButton { cmdVer, cmdApply, cmdAuto, cmdDown, cmdCopy, cmd취소 };

class FrmFiles {
 public:
  FrmFiles(SharedState& state, UiHost& host);
  ~FrmFiles();
  FrmFiles(const FrmFiles&) = delete;
  FrmFiles& operator=(const FrmFiles&) = delete;

  // Controls (design texts set by the constructor).
  ButtonControl cmdVer, cmdApply, cmdAuto, cmdDown, cmdCopy, cmd취소;
  ListBoxControl lstVer, lstFile;
  ListViewControl lvwProcesses;
  ProgressBarControl prgAll, prgFile;
  LabelControl Label2, Label3, Label4;
  LabelControl lblCaption[2];
  LabelControl lblFile, lblCounter, lblCPS;
  LabelControl Label5, Label6, lbl고객;
  TimerControl timCheck, timCopy, timCPS;
  std::string caption;
  // Outer size and position in twips (the screen's coordinates).
  int height = kCompactHeight;
  int width = kWindowWidth;
  int left = 0;
  int top = 0;
  bool visible = false;
  bool minimized = false;

  // Schedule values read from the CRM (hours, minutes) and the elapsed counters.
  short schedule_hours = 0;
  short schedule_minutes = 0;
  short elapsed_hours = 0;
  short elapsed_minutes = 0;

  // The passes behind the buttons and timers; until set, the buttons do nothing.
  void SetPasses(UpdatePasses* passes) { passes_ = passes; }

  // Form load: caption, compact height, ShowLatestInstalled, tray icon, a visible position at
  // the lower right of the work area, overall bar 0 of 0. All timers stay stopped.
  void Load();
  // Shows the window (modeless), in its normal state.
  void Show();
  // Hides the window; the tray icon stays.
  void Hide();
  // Minimises the window, which hides it when there is a tray icon to bring it back.
  void Minimize();

  // Puts the window into its up-to-date look.
  void ShowLatestInstalled();
  // Overall bar: minimum 0, maximum lMax, value lPerc (each step tried, errors ignored).
  void ShowPercent(double lPerc, double lMax);
  // Tray tip: the text cut to the 64-character field.
  void SetTrayTip(const std::string& text);

  // Buttons.
  void cmdAuto_Click();
  void cmdDown_Click();
  void cmdCopy_Click();
  void cmdApply_Click();
  void cmdVer_Click();
  // "종료": asks "자동다운로드가 취소됩니다.종료하시겠습니까?" with the caption as title; Yes
  // unloads the window. Ignored while the question is already open or the window unloads.
  void cmd취소_Click();

  // A press on a button by a person (adapters call this). A press that would start a pass while
  // one runs is refused and logged; "종료" always goes through.
  void ClickButton(WindowButton button);

  // Views.
  void m_viewversion();
  void m_viewall();
  void m_viewsmall();

  // Input reported by the adapters.
  // A key pressed on the window or any of its controls: key_code is a virtual-key code, shift
  // the mask of kShiftMask/kCtrlMask/kAltMask. Only Ctrl+F9, Ctrl+F10 and Ctrl+F11 act.
  void Form_KeyDown(int key_code, int shift);
  void Label2_DblClick();
  void Label3_DblClick();
  void Label4_DblClick();
  // A notification of the tray icon carrying a mouse message (514, 515, 517 act).
  void TrayCallback(int mouse_message);
  void mPopRestore_Click();
  void mPopExit_Click();
  // After the window state changed (minimized written by the adapter): a minimised window hides.
  void Form_Resize();
  // The window's close box: the same confirmation as "종료". Returns true when the window was
  // unloaded, false when closing was declined.
  bool Form_QueryUnload();

  // Unloading: stops the timers, lets a running pass know it may not go on, deletes the tray
  // icon, runs ShrinkWindow, hides the window and ends the message loop. The pass that yields
  // meanwhile unwinds normally; the loop ends once it has.
  void Unload();
  // The closing animation: shrinks the height, then the width, yielding at each step.
  void ShrinkWindow();

  // Timer ticks.
  void timCheck_Timer();
  void timCopy_Timer();
  void timCPS_Timer();

  // What an adapter runs from its loop and from DoEvents: hides a minimised window, fires the
  // timers that are due, and runs the automatic pass a tick owes once no pass runs any more.
  void Poll();
  // Milliseconds until Poll may fire a timer (0: at once); nullopt when no timer runs or the
  // window is unloaded.
  std::optional<int> MillisecondsUntilNextTimer() const;
  // Tests: the clock the timers are measured with.
  void SetTimerClock(std::function<TimerPump::Clock::time_point()> clock) {
    pump_.SetClock(std::move(clock));
  }

  const TrayRecord& tray_record() const { return tray_; }
  bool tray_added() const { return tray_added_; }
  bool loaded() const { return loaded_; }
  bool unloaded() const { return unloaded_; }
  bool exit_question_open() const { return exit_question_open_; }
  // True while a schedule or offline tick's pass waits for the running pass to end.
  bool pass_owed() const { return pass_owed_; }
  // True when the passes are connected.
  bool has_passes() const { return passes_ != nullptr; }

  SharedState& state() { return state_; }
  UiHost& host() { return host_; }

 private:
  void SetHeight(int new_height);
  void KeepOnWorkArea();
  bool PassRunning(const char* what);
  bool PassesConnected();
  bool CheckTick();
  bool CopyTick();
  // A tick that decided to run the automatic pass: runs it, or, while another pass runs, owes it
  // until that pass has ended (RunOwedPass, from Poll).
  void RunScheduledPass(const char* what);
  void RunOwedPass();

  SharedState& state_;
  UiHost& host_;
  UpdatePasses* passes_ = nullptr;
  TrayRecord tray_;
  TimerPump pump_;
  bool tray_added_ = false;
  bool loaded_ = false;
  bool unloading_ = false;
  bool unloaded_ = false;
  bool exit_question_open_ = false;
  bool told_no_passes_ = false;
  bool pass_owed_ = false;
};

// The window's caption: "쿠벨IT(주) 자동다운로드 Ver " + major.minor.revision.
std::string MainWindowCaption();

}  // namespace quillmend

// frmFiles: the main window's state and logic, independent of any toolkit.
#pragma once

#include <string>

#include "startup/shared_state.h"
#include "ui/controls.h"
#include "ui/ui_host.h"
#include "ui/update_passes.h"

namespace quillmend {

class FrmFiles {
 public:
  FrmFiles(SharedState& state, UiHost& host);

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
  int height = 2500;
  bool visible = false;
  bool minimized = false;

  // Schedule values read from the CRM (hours, minutes) and the elapsed counters.
  short schedule_hours = 0;
  short schedule_minutes = 0;
  short elapsed_hours = 0;
  short elapsed_minutes = 0;

  // The passes behind the buttons and timers; until set, the buttons do nothing.
  void SetPasses(UpdatePasses* passes) { passes_ = passes; }

  // Form load: caption, compact height, ShowLatestInstalled, tray icon, overall bar 0 of 0.
  void Load();
  // Shows the window (modeless).
  void Show();

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

  SharedState& state() { return state_; }
  UiHost& host() { return host_; }

 private:
  SharedState& state_;
  UiHost& host_;
  UpdatePasses* passes_ = nullptr;
  std::string tray_tip_;
};

// The window's caption: "쿠벨IT(주) 자동다운로드 Ver " + major.minor.revision.
std::string MainWindowCaption();

}  // namespace quillmend

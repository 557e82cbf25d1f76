// The headless window adapter: no display. Message boxes are printed to standard error as
// "[messagebox] <title>: <text> -> <answer>" (line breaks shown as \n); Yes/No questions take
// their answers from a list, then a default. The window's state lines worth seeing (status
// lines, file, counter, speed, schedule label, tray tip, shown or hidden) are printed as
// "[window] <control>: <text>" whenever they change.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "ui/scripted_answers.h"
#include "ui/ui_host.h"

namespace quillmend {

class HeadlessHost : public UiHost {
 public:
  HeadlessHost(std::vector<bool> answers, bool default_answer);
  // Answers from QUILLMEND_ANSWERS ("yes,no,..."), then QUILLMEND_DEFAULT_ANSWER (default no).
  static std::vector<bool> AnswersFromEnvironment();
  static bool DefaultAnswerFromEnvironment();

  bool AskYesNo(const std::string& title, const std::string& text) override;
  void ShowMessage(const std::string& title, const std::string& text) override;
  void SetBusyPointer(bool busy) override { busy_ = busy; }
  // Runs the window's timers, prints changed state lines, then the event hook.
  void DoEvents() override;
  // Turns DoEvents until Quit(), sleeping between turns until the window's next timer is due
  // (at least 50 ms, at most 1 s). Returns at once when Quit() came first.
  int RunLoop() override;
  // The sleep before the next turn of RunLoop, in milliseconds.
  int NextTurnMilliseconds() const;
  void Quit() override { quit_ = true; }
  void TrayAdd(const std::string& tip) override;
  void TrayModify(const std::string& tip) override;
  void TrayDelete() override;
  void AttachWindow(FrmFiles* window) override { window_ = window; }

  // Called by DoEvents and by each turn of RunLoop (after the window's timers).
  void SetEventHook(std::function<void()> hook) { event_hook_ = std::move(hook); }
  // Whether state lines are printed (on by default).
  void SetPrintStateLines(bool print) { print_state_ = print; }

  // What was shown, for tests: one entry per message box, "<title>: <text>".
  const std::vector<std::string>& shown() const { return shown_; }
  bool busy() const { return busy_; }
  bool tray_present() const { return tray_present_; }
  const std::string& tray_tip() const { return tray_tip_; }
  bool quit_requested() const { return quit_; }
  // Every state line printed so far, without the "[window] " prefix.
  const std::vector<std::string>& state_lines() const { return state_lines_; }

 private:
  void PrintStateChanges();

  ScriptedAnswers answers_;
  FrmFiles* window_ = nullptr;
  bool busy_ = false;
  bool quit_ = false;
  bool tray_present_ = false;
  bool print_state_ = true;
  std::string tray_tip_;
  std::vector<std::string> shown_;
  std::vector<std::string> state_lines_;
  std::array<std::string, 10> printed_;
  std::array<bool, 10> printed_once_{};
  std::function<void()> event_hook_;
};

}  // namespace quillmend

// The headless window adapter: no display. Message boxes are printed to standard error as
// "[messagebox] <title>: <text> -> <answer>" (line breaks shown as \n); Yes/No questions take
// their answers from a list, then a default.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

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
  void DoEvents() override;
  int RunLoop() override;
  void Quit() override { quit_ = true; }
  void TrayAdd(const std::string& tip) override;
  void TrayModify(const std::string& tip) override;
  void TrayDelete() override;

  // Called by DoEvents and by each turn of RunLoop (the window's timers and state lines).
  void SetEventHook(std::function<void()> hook) { event_hook_ = std::move(hook); }

  // What was shown, for tests: one entry per message box, "<title>: <text>".
  const std::vector<std::string>& shown() const { return shown_; }
  bool busy() const { return busy_; }
  bool tray_present() const { return tray_present_; }
  const std::string& tray_tip() const { return tray_tip_; }

 private:
  std::deque<bool> answers_;
  bool default_answer_;
  bool busy_ = false;
  bool quit_ = false;
  bool tray_present_ = false;
  std::string tray_tip_;
  std::vector<std::string> shown_;
  std::function<void()> event_hook_;
};

}  // namespace quillmend

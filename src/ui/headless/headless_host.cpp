#include "ui/headless/headless_host.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/system_info.h"
#include "ui/frm_files.h"

namespace quillmend {
namespace {

void Print(const std::string& line) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

HeadlessHost::HeadlessHost(std::vector<bool> answers, bool default_answer)
    : answers_(std::move(answers), default_answer) {}

std::vector<bool> HeadlessHost::AnswersFromEnvironment() {
  return ScriptedAnswers::AnswersFromEnvironment();
}

bool HeadlessHost::DefaultAnswerFromEnvironment() {
  return ScriptedAnswers::DefaultAnswerFromEnvironment();
}

bool HeadlessHost::AskYesNo(const std::string& title, const std::string& text) {
  const bool answer = answers_.Next();
  shown_.push_back(title + ": " + text);
  PrintMessageBoxLine(title, text, answer ? "yes" : "no");
  return answer;
}

void HeadlessHost::ShowMessage(const std::string& title, const std::string& text) {
  shown_.push_back(title + ": " + text);
  PrintMessageBoxLine(title, text, "ok");
}

void HeadlessHost::DoEvents() {
  if (window_ != nullptr) {
    window_->Poll();
    PrintStateChanges();
  }
  if (event_hook_) event_hook_();
}

int HeadlessHost::RunLoop() {
  while (!quit_) {
    DoEvents();
    if (!quit_) SleepMilliseconds(NextTurnMilliseconds());
  }
  return 0;
}

int HeadlessHost::NextTurnMilliseconds() const {
  constexpr int kShortest = 50;
  constexpr int kLongest = 1000;
  // Nothing but the window's timers can happen here; an event hook wants every short turn.
  if (window_ == nullptr || event_hook_) return kShortest;
  const std::optional<int> next = window_->MillisecondsUntilNextTimer();
  return next ? std::clamp(*next, kShortest, kLongest) : kLongest;
}

void HeadlessHost::TrayAdd(const std::string& tip) {
  tray_present_ = true;
  tray_tip_ = tip;
}

void HeadlessHost::TrayModify(const std::string& tip) { tray_tip_ = tip; }

void HeadlessHost::TrayDelete() { tray_present_ = false; }

void HeadlessHost::PrintStateChanges() {
  if (!print_state_ || window_ == nullptr || !window_->loaded()) return;
  const FrmFiles& w = *window_;
  const std::array<std::pair<const char*, std::string>, 10> lines = {{
      {"lblCaption(0)", w.lblCaption[0].caption},
      {"lblCaption(1)", w.lblCaption[1].caption},
      {"lblFile", w.lblFile.caption},
      {"lblCounter", w.lblCounter.caption},
      {"lblCPS", w.lblCPS.caption},
      {"Label5", w.Label5.caption},
      {"Label6", w.Label6.caption},
      {"lbl고객", w.lbl고객.caption},
      {"tray", tray_present_ ? tray_tip_ : std::string("(none)")},
      {"window", w.unloaded() ? "unloaded" : (w.visible ? "shown" : "hidden")},
  }};
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& value = lines[i].second;
    // Empty texts are printed only when they replace a text that was printed.
    if (printed_once_[i] ? value == printed_[i] : value.empty()) continue;
    printed_[i] = value;
    printed_once_[i] = true;
    const std::string line = std::string(lines[i].first) + ": " + value;
    state_lines_.push_back(line);
    Print("[window] " + line);
  }
}

}  // namespace quillmend

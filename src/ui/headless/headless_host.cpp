#include "ui/headless/headless_host.h"

#include <cstdio>
#include <cstdlib>

#include "platform/system_info.h"
#include "startup/text.h"

namespace quillmend {
namespace {

std::string OneLine(const std::string& text) {
  std::string out = ReplaceAll(text, "\r\n", "\\n");
  out = ReplaceAll(out, "\n", "\\n");
  return ReplaceAll(out, "\r", "\\n");
}

void Print(const std::string& line) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

bool IsYes(const std::string& word) {
  const std::string upper = ToUpperAscii(TrimWhite(word));
  return upper == "YES" || upper == "Y" || upper == "1" || upper == "TRUE";
}

}  // namespace

HeadlessHost::HeadlessHost(std::vector<bool> answers, bool default_answer)
    : answers_(answers.begin(), answers.end()), default_answer_(default_answer) {}

std::vector<bool> HeadlessHost::AnswersFromEnvironment() {
  std::vector<bool> answers;
  const char* text = std::getenv("QUILLMEND_ANSWERS");
  if (text == nullptr || *text == '\0') return answers;
  for (const std::string& word : SplitText(text, ",")) answers.push_back(IsYes(word));
  return answers;
}

bool HeadlessHost::DefaultAnswerFromEnvironment() {
  const char* text = std::getenv("QUILLMEND_DEFAULT_ANSWER");
  return text != nullptr && IsYes(text);
}

bool HeadlessHost::AskYesNo(const std::string& title, const std::string& text) {
  bool answer = default_answer_;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  shown_.push_back(title + ": " + text);
  Print("[messagebox] " + title + ": " + OneLine(text) + " -> " + (answer ? "yes" : "no"));
  return answer;
}

void HeadlessHost::ShowMessage(const std::string& title, const std::string& text) {
  shown_.push_back(title + ": " + text);
  Print("[messagebox] " + title + ": " + OneLine(text) + " -> ok");
}

void HeadlessHost::DoEvents() {
  if (event_hook_) event_hook_();
}

int HeadlessHost::RunLoop() {
  while (!quit_) {
    if (event_hook_) event_hook_();
    if (!quit_) SleepMilliseconds(50);
  }
  return 0;
}

void HeadlessHost::TrayAdd(const std::string& tip) {
  tray_present_ = true;
  tray_tip_ = tip;
}

void HeadlessHost::TrayModify(const std::string& tip) { tray_tip_ = tip; }

void HeadlessHost::TrayDelete() { tray_present_ = false; }

}  // namespace quillmend

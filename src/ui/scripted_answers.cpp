#include "ui/scripted_answers.h"

#include <cstdio>
#include <cstdlib>

#include "base/text.h"

namespace quillmend {
namespace {

bool IsYes(const std::string& word) {
  const std::string upper = ToUpperAscii(TrimWhite(word));
  return upper == "YES" || upper == "Y" || upper == "1" || upper == "TRUE";
}

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

std::string OneLine(const std::string& text) {
  std::string out = ReplaceAll(text, "\r\n", "\\n");
  out = ReplaceAll(out, "\n", "\\n");
  return ReplaceAll(out, "\r", "\\n");
}

}  // namespace

ScriptedAnswers::ScriptedAnswers(std::vector<bool> answers, bool default_answer)
    : answers_(answers.begin(), answers.end()), default_answer_(default_answer) {}

std::vector<bool> ScriptedAnswers::AnswersFromEnvironment() {
  std::vector<bool> answers;
  const char* text = std::getenv("QUILLMEND_ANSWERS");
  if (text == nullptr || *text == '\0') return answers;
  for (const std::string& word : SplitText(text, ",")) answers.push_back(IsYes(word));
  return answers;
}

bool ScriptedAnswers::DefaultAnswerFromEnvironment() {
  const char* text = std::getenv("QUILLMEND_DEFAULT_ANSWER");
  return text != nullptr && IsYes(text);
}

std::optional<ScriptedAnswers> ScriptedAnswers::FromEnvironmentIfSet() {
  if (!IsSet("QUILLMEND_ANSWERS") && !IsSet("QUILLMEND_DEFAULT_ANSWER")) return std::nullopt;
  return ScriptedAnswers(AnswersFromEnvironment(), DefaultAnswerFromEnvironment());
}

bool ScriptedAnswers::Next() {
  if (answers_.empty()) return default_answer_;
  const bool answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void PrintMessageBoxLine(const std::string& title, const std::string& text,
                         const std::string& answer) {
  const std::string line = "[messagebox] " + title + ": " + OneLine(text) + " -> " + answer + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace quillmend

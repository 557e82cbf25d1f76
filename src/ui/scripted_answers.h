// Answers to Yes/No questions taken from a script instead of a person (QUILLMEND_ANSWERS,
// then QUILLMEND_DEFAULT_ANSWER), and the one-line form every answered box is printed in.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace quillmend {

class ScriptedAnswers {
 public:
  ScriptedAnswers(std::vector<bool> answers, bool default_answer);

  // "yes,no,..." from QUILLMEND_ANSWERS ("yes", "y", "1", "true" count as yes, anything else as
  // no; case ignored).
  static std::vector<bool> AnswersFromEnvironment();
  // QUILLMEND_DEFAULT_ANSWER; no when unset.
  static bool DefaultAnswerFromEnvironment();
  // A script when either variable is set, else nullopt (a person answers).
  static std::optional<ScriptedAnswers> FromEnvironmentIfSet();

  // The next answer of the list, then the default.
  bool Next();

 private:
  std::deque<bool> answers_;
  bool default_answer_;
};

// Prints "[messagebox] <title>: <text> -> <answer>" to standard error, line breaks shown as \n.
void PrintMessageBoxLine(const std::string& title, const std::string& text,
                         const std::string& answer);

}  // namespace quillmend

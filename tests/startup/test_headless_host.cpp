// The headless window adapter's answers and message lines (the automation contract).
#include <gtest/gtest.h>

#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

TEST(HeadlessHost, AnswersInOrderThenTheDefault) {
  HeadlessHost host({true, false}, true);
  EXPECT_TRUE(host.AskYesNo("T", "first"));
  EXPECT_FALSE(host.AskYesNo("T", "second"));
  EXPECT_TRUE(host.AskYesNo("T", "third"));
  HeadlessHost no_answers({}, false);
  EXPECT_FALSE(no_answers.AskYesNo("T", "q"));
}

TEST(HeadlessHost, PrintsEachMessageBoxOnOneLineWithTheAnswerTaken) {
  HeadlessHost host({}, false);
  ::testing::internal::CaptureStderr();
  host.ShowMessage("Quillmend", "line one\r\nline two");
  host.AskYesNo("Title", "a\nb");
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed,
            "[messagebox] Quillmend: line one\\nline two -> ok\n"
            "[messagebox] Title: a\\nb -> no\n");
  ASSERT_EQ(host.shown().size(), 2u);
}

}  // namespace
}  // namespace quillmend

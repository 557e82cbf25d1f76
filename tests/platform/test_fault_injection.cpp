// The fault-injection seam: the rules' text form, which calls a rule hits, and that the table
// holds the platform's own calls again once the rules are gone.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"
#include "platform/local_file.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

std::vector<FaultRule> Parsed(const std::string& text) {
  std::string error;
  auto rules = ParseFaultRules(text, &error);
  EXPECT_TRUE(rules.has_value()) << error;
  return rules.value_or(std::vector<FaultRule>{});
}

TEST(FaultRules, TheTextFormFillsEveryFieldAndItsDefaults) {
  const auto rules = Parsed("write:*/Orvel/*.exe:enospc;;rename:*:erofs:3;send::econnreset:2:5;");
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(rules[0].operation, FaultOperation::kWrite);
  EXPECT_EQ(rules[0].path_pattern, "*/Orvel/*.exe");
  EXPECT_EQ(rules[0].error, FaultError::kDiskFull);
  EXPECT_EQ(rules[0].nth, 1u);
  EXPECT_EQ(rules[0].count, 0u);
  EXPECT_EQ(rules[1].operation, FaultOperation::kRename);
  EXPECT_EQ(rules[1].error, FaultError::kReadOnly);
  EXPECT_EQ(rules[1].nth, 3u);
  EXPECT_EQ(rules[2].operation, FaultOperation::kSend);
  EXPECT_EQ(rules[2].path_pattern, "*");  // an empty glob matches everything
  EXPECT_EQ(rules[2].error, FaultError::kConnectionReset);
  EXPECT_EQ(rules[2].nth, 2u);
  EXPECT_EQ(rules[2].count, 5u);

  // Every name of the agreed vocabulary is known; a drive letter's colon is escaped.
  const auto all = Parsed("open:a:eacces;flush:a:eio;remove:a:enospc;settime:a:erofs;"
                          "recv:a:etimedout;connect:a:econnreset;open:C\\:\\Orvel\\*:eacces;"
                          "alloc:stmt:eio");
  ASSERT_EQ(all.size(), 8u);
  EXPECT_EQ(all[0].error, FaultError::kAccessDenied);
  EXPECT_EQ(all[1].error, FaultError::kIoError);
  EXPECT_EQ(all[3].operation, FaultOperation::kSetTime);
  EXPECT_EQ(all[4].error, FaultError::kTimedOut);
  EXPECT_EQ(all[5].operation, FaultOperation::kConnect);
  EXPECT_EQ(all[6].path_pattern, "C:\\Orvel\\*");
  EXPECT_EQ(all[7].operation, FaultOperation::kAllocate);
  EXPECT_TRUE(Parsed("").empty());
}

TEST(FaultRules, AMalformedRuleIsRefusedWithItsText) {
  for (const std::string text :
       {"write:*", "truncate:*:eio", "write:*:enoent", "write:*:eio:0", "write:*:eio:x",
        "write:*:eio:1:-1", "write:*:eio:1:2:3", "WRITE:*:eio", "open:*:eio;rename"}) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_FALSE(ParseFaultRules(text, &error).has_value());
    EXPECT_NE(error.find("fault rule"), std::string::npos) << error;
  }
  std::string error;
  ParseFaultRules("open:*:eio;bogus:*:eio", &error);
  EXPECT_NE(error.find("\"bogus:*:eio\""), std::string::npos) << error;
  EXPECT_NE(error.find("unknown operation"), std::string::npos) << error;
}

TEST(FaultRules, TheGlobCoversTheWholePathWithoutRegardToCase) {
  EXPECT_TRUE(FaultPatternMatches("*", ""));
  EXPECT_TRUE(FaultPatternMatches("*", "/any/thing"));
  EXPECT_TRUE(FaultPatternMatches("*/download/*.CAB", "/c/Orvel/Download/program/v.exe.cab"));
  EXPECT_TRUE(FaultPatternMatches("*a*b*c", "xaxxbxxbxc"));
  EXPECT_TRUE(FaultPatternMatches("C:\\Orvel\\*", "c:\\orvel\\Velmont.exe"));
  EXPECT_FALSE(FaultPatternMatches("*.exe", "/c/Velmont.exe.qm-tmp"));  // anchored at the end
  EXPECT_FALSE(FaultPatternMatches("Orvel/*", "/Orvel/a"));             // and at the start
  EXPECT_FALSE(FaultPatternMatches("*a*b*c", "xaxxbxxcxb"));
  EXPECT_FALSE(FaultPatternMatches("", "x"));
}

class FaultTable : public ::testing::Test {
 protected:
  // Writes one small piece to each of `files` fresh files a0, a1, ...; returns which writes
  // failed, as a string of 'x' (failed) and '.' (written).
  std::string WriteEach(int files, std::string* last_error = nullptr) {
    std::string outcome;
    for (int i = 0; i < files; ++i) {
      LocalFileWriter out;
      std::string error;
      const bool ok = out.Create(temp_.Sub("a") + std::to_string(i), &error) &&
                      out.Write("data", 4, &error) && out.Close(&error);
      outcome += ok ? '.' : 'x';
      if (!ok && last_error != nullptr) *last_error = error;
    }
    return outcome;
  }

  TempFolder temp_;
};

TEST_F(FaultTable, TheNthMatchingCallAndTheCountAfterItFail) {
  {
    ScopedFaults faults({FaultRule{FaultOperation::kWrite, "*", FaultError::kDiskFull, 2, 2}});
    std::string error;
    EXPECT_EQ(WriteEach(5, &error), ".xx..");
    EXPECT_EQ(InjectedFaultCount(), 2u);
    EXPECT_NE(error.find("cannot write " + temp_.Sub("a2")), std::string::npos) << error;
  }
  {
    // Count 0: every matching call from the nth on.
    ScopedFaults faults({FaultRule{FaultOperation::kWrite, "*", FaultError::kIoError, 3, 0}});
    EXPECT_EQ(WriteEach(5), "..xxx");
  }
  // Gone with the scope: the platform's own calls are back; the count stays readable.
  EXPECT_EQ(WriteEach(3), "...");
  EXPECT_EQ(InjectedFaultCount(), 3u);
}

TEST_F(FaultTable, APatternLimitsTheRuleToThePathsItMatches) {
  // Only the files whose names end in 1 or 3; each rule counts only the calls it matches.
  ScopedFaults faults({FaultRule{FaultOperation::kOpen, "*a1", FaultError::kAccessDenied},
                       FaultRule{FaultOperation::kWrite, "*A3", FaultError::kDiskFull}});
  EXPECT_EQ(WriteEach(5), ".x.x.");
  EXPECT_FALSE(FileExists(temp_.Sub("a1")));  // refused before it was created
  EXPECT_TRUE(FileExists(temp_.Sub("a3")));   // created, then its write failed
  EXPECT_EQ(ReadFileBytes(temp_.Sub("a3")), "");
}

TEST_F(FaultTable, ARenameMatchesOnEitherPathAndRemovalAndTimesCanFail) {
  WriteFileBytes(temp_.Sub("from"), "new");
  WriteFileBytes(temp_.Sub("to"), "old");
  {
    ScopedFaults faults({FaultRule{FaultOperation::kRename, "*to", FaultError::kReadOnly},
                         FaultRule{FaultOperation::kRemove, "*", FaultError::kAccessDenied},
                         FaultRule{FaultOperation::kSetTime, "*", FaultError::kAccessDenied}});
    std::string error;
    EXPECT_FALSE(RenameLocalFile(temp_.Sub("from"), temp_.Sub("to"), &error));
    EXPECT_NE(error.find("cannot rename"), std::string::npos) << error;
    EXPECT_FALSE(RemoveLocalFile(temp_.Sub("from"), &error));
    EXPECT_NE(error.find("cannot remove " + temp_.Sub("from")), std::string::npos) << error;
    EXPECT_FALSE(SetLocalFileTime(temp_.Sub("from"), 0, &error));
    EXPECT_EQ(InjectedFaultCount(), 3u);
  }
  EXPECT_EQ(ReadFileBytes(temp_.Sub("to")), "old");
  EXPECT_EQ(ReadFileBytes(temp_.Sub("from")), "new");
  EXPECT_TRUE(RenameLocalFile(temp_.Sub("from"), temp_.Sub("to")));
  EXPECT_EQ(ReadFileBytes(temp_.Sub("to")), "new");
}

TEST_F(FaultTable, AFlushFailureIsTheFlushOfThatFileOnly) {
  ScopedFaults faults({FaultRule{FaultOperation::kFlush, "*b", FaultError::kIoError}});
  LocalFileWriter a, b;
  ASSERT_TRUE(a.Create(temp_.Sub("a")));
  ASSERT_TRUE(b.Create(temp_.Sub("b")));
  EXPECT_TRUE(a.Flush());
  std::string error;
  EXPECT_FALSE(b.Flush(&error));
  EXPECT_NE(error.find("cannot flush " + temp_.Sub("b")), std::string::npos) << error;
}

TEST_F(FaultTable, InstallingReplacesTheRulesAndResetsTheirCounts) {
  InstallFaults({FaultRule{FaultOperation::kWrite, "*", FaultError::kDiskFull, 2, 1}});
  EXPECT_EQ(WriteEach(1), ".");
  InstallFaults({FaultRule{FaultOperation::kWrite, "*", FaultError::kDiskFull, 2, 1}});
  EXPECT_EQ(WriteEach(3), ".x.");  // counted afresh from the second installation
  InstallFaults({});
  EXPECT_EQ(WriteEach(2), "..");
  RemoveFaults();
}

}  // namespace
}  // namespace quillmend

// The programs port on POSIX: Windows quoting rules and the window-title stand-in.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/common/command_line.h"
#include "platform/programs.h"
#include "support/scoped_environment.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace quillmend {
namespace {

TEST(CommandLine, SplitsByWindowsQuotingRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitWindowsCommandLine("expand \"C:\\a b\\x.cab\" \"C:\\a b\\x.exe\""),
            (V{"expand", "C:\\a b\\x.cab", "C:\\a b\\x.exe"}));
  EXPECT_EQ(SplitWindowsCommandLine("\"C:\\Program Files\\p.exe\"  a\tb"),
            (V{"C:\\Program Files\\p.exe", "a", "b"}));
  EXPECT_EQ(SplitWindowsCommandLine("p a\\\\\\\"b c\\\\\"d e\" f\\g"),
            (V{"p", "a\\\"b", "c\\d e", "f\\g"}));
  EXPECT_EQ(SplitWindowsCommandLine("p \"say \"\"hi\"\"\" \"\""), (V{"p", "say \"hi\"", ""}));
  EXPECT_TRUE(SplitWindowsCommandLine("   ").empty());
}

TEST(Programs, StartedProcessIsSeenToEnd) {
  std::string error;
  auto child = StartCommandLine("sleep 0.2", WindowStyle::kHidden, &error);
  ASSERT_NE(child, nullptr) << error;
  EXPECT_GT(child->id(), 0u);
  EXPECT_TRUE(testing::WaitUntil([&] { return child->HasExited(); }, std::chrono::seconds(10),
                                 "the program's end"));
  EXPECT_EQ(StartCommandLine("/nonexistent/x", WindowStyle::kHidden, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

TEST(Programs, AProcessLetGoWhileRunningLeavesNoZombieWhenItEnds) {
  std::string error;
  auto child = StartCommandLine("sleep 0.2", WindowStyle::kHidden, &error);
  ASSERT_NE(child, nullptr) << error;
  const std::string proc_entry = "/proc/" + std::to_string(child->id());
  child.reset();
  // A zombie keeps its /proc entry until its parent waits for it.
  for (int i = 0; i < 250 && std::filesystem::exists(proc_entry); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(std::filesystem::exists(proc_entry));
}

TEST(Programs, WithoutDisplayARunningExeProcessCountsAsTheWindow) {
  const testing::ScopedEnvironment no_display("DISPLAY", std::nullopt);
  testing::TempFolder folder;
  const std::string program = folder.Sub("QmFakeMainScreen.exe");
  std::filesystem::copy_file("/bin/sleep", program);
  EXPECT_FALSE(TopLevelWindowExists("QmFakeMainScreen"));
  std::string error;
  auto child = StartCommandLine("\"" + program + "\" 30", WindowStyle::kNormalFocus, &error);
  ASSERT_NE(child, nullptr) << error;
  // The spawned child shows the new program's name only once it has executed it.
  testing::WaitUntil([] { return TopLevelWindowExists("QmFakeMainScreen"); },
                     std::chrono::seconds(10), "the started program's process");
  EXPECT_TRUE(TopLevelWindowExists("qmfakemainscreen"));
  EXPECT_FALSE(TopLevelWindowExists("QmFakeMain"));
  kill(static_cast<pid_t>(child->id()), SIGTERM);
  testing::WaitUntil([&] { return child->HasExited(); }, std::chrono::seconds(10),
                     "the program's end");
  EXPECT_FALSE(TopLevelWindowExists("QmFakeMainScreen"));
}

}  // namespace
}  // namespace quillmend

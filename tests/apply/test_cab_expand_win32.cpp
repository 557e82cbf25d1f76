// Windows: CAB expansion with the system's expand tool (run and waited for like the agent
// does), on archives made by gcab at build time.
#include <gtest/gtest.h>

#include "net/mod_ftp.h"
#include "platform/components.h"
#include "platform/cab_expand.h"
#include "startup/shared_state.h"
#include "support/temp_folder.h"
#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

std::string Fixture(const std::string& name) { return std::string(QM_FIXTURE_DIR) + "/" + name; }

class ExpandToolTest : public ::testing::Test {
 protected:
  ExpandToolTest() : host_({}, false) {
    state_.ui_ = &host_;
    run_ = [this](const std::string& command_line) {
      ++runs_;
      RunAndWait(state_, command_line);
    };
  }
  bool Expand(const std::string& archive, const std::string& expanded) {
    std::string error;
    return ExpandSingleFileCabinet(archive, expanded, run_, &error);
  }
  HeadlessHost host_;
  SharedState state_;
  CommandRunner run_;
  int runs_ = 0;
  TempFolder temp_;
};

TEST_F(ExpandToolTest, ExpandsTheOneFileThroughTheTool) {
  const std::string expanded = temp_.Sub("Grid.ocx");
  ASSERT_TRUE(Expand(Fixture("versioned.dll.cab"), expanded));
  EXPECT_EQ(ReadFileBytes(expanded), ReadFileBytes(Fixture("versioned.dll")));
  EXPECT_FALSE(FileExists(ExpansionTempPath(expanded)));
}

TEST_F(ExpandToolTest, ADamagedArchiveLeavesNothing) {
  std::string bytes = ReadFileBytes(Fixture("versioned.dll.cab"));
  bytes[bytes.size() / 2] ^= 0x20;
  WriteFileBytes(temp_.Sub("bad.cab"), bytes);
  WriteFileBytes(temp_.Sub("short.cab"), bytes.substr(0, bytes.size() / 3));
  EXPECT_FALSE(Expand(temp_.Sub("bad.cab"), temp_.Sub("bad")));
  EXPECT_FALSE(Expand(temp_.Sub("short.cab"), temp_.Sub("short")));
  EXPECT_FALSE(FileExists(temp_.Sub("bad")));
  EXPECT_FALSE(FileExists(ExpansionTempPath(temp_.Sub("bad"))));
  EXPECT_FALSE(FileExists(temp_.Sub("short")));
}

TEST_F(ExpandToolTest, AnArchiveOfTwoFilesIsRefusedWithoutRunningTheTool) {
  EXPECT_FALSE(Expand(Fixture("two.cab"), temp_.Sub("two")));
  EXPECT_EQ(runs_, 0);
  EXPECT_FALSE(FileExists(temp_.Sub("two")));
}

}  // namespace
}  // namespace quillmend

// Windows: the rename and removal that end an expansion by the expand tool go through the
// system-call table (the tool's own writes happen in its process, out of reach). A failing
// rename keeps the earlier expanded file and leaves no temporary file.
#include <gtest/gtest.h>

#include "net/mod_ftp.h"
#include "platform/cab_expand.h"
#include "platform/fault_injection.h"
#include "startup/shared_state.h"
#include "support/temp_folder.h"
#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

TEST(ExpansionFaults, AFailingRenameKeepsTheEarlierExpandedFile) {
  HeadlessHost host({}, false);
  SharedState state;
  state.ui_ = &host;
  const CommandRunner run = [&](const std::string& command_line) {
    RunAndWait(state, command_line);
  };
  TempFolder temp;
  const std::string expanded = temp.Sub("Grid.ocx");
  WriteFileBytes(expanded, "expanded by an earlier pass");
  const std::string archive = std::string(QM_FIXTURE_DIR) + "/versioned.dll.cab";
  std::string error;
  {
    ScopedFaults faults({FaultRule{FaultOperation::kRename, "*Grid.ocx", FaultError::kDiskFull}});
    EXPECT_FALSE(ExpandSingleFileCabinet(archive, expanded, run, &error));
    EXPECT_EQ(InjectedFaultCount(), 1u);
  }
  EXPECT_NE(error.find("cannot rename the expanded file to " + expanded), std::string::npos)
      << error;
  EXPECT_EQ(ReadFileBytes(expanded), "expanded by an earlier pass");
  EXPECT_FALSE(FileExists(ExpansionTempPath(expanded)));

  ASSERT_TRUE(ExpandSingleFileCabinet(archive, expanded, run, &error)) << error;
  EXPECT_EQ(ReadFileBytes(expanded),
            ReadFileBytes(std::string(QM_FIXTURE_DIR) + "/versioned.dll"));
}

}  // namespace
}  // namespace quillmend

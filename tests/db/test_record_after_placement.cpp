// A placed file whose record the clinic database refuses: the file stays in its place and the
// placement reports the failure (so the pass does not move the installed version on); once the
// database takes rows again, the same placement records the file.
#include <gtest/gtest.h>

#include "apply/placement.h"
#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/db_sandbox.h"
#include "db/local_tables.h"
#include "db/version_bookkeeping.h"
#include "platform/file_names.h"

namespace quillmend::testing {
namespace {

TEST(RecordAfterPlacement, ARefusedRecordFailsThePlacementButKeepsThePlacedFile) {
  DbSandbox box;
  box.state.g_SystemFolder = box.folder.Sub("system32");
  box.state.g_CustomerCode = "C1001";
  box.state.g_HostName = "진료실";
  box.state.g_LocalIP = "192.168.0.20";
  OpenLocalDatabase(box.state);
  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open()) << box.FailureLog();
  ProbeDatabaseDialect(box.state);
  CreateVersionTables(box.state);
  ExecSqlite(box.clinic, {"CREATE TRIGGER refuse BEFORE INSERT ON 버전파일개별 "
                          "BEGIN SELECT RAISE(ABORT, 'the row is refused'); END"});
  const std::string staged = box.folder.Sub("download/program/Tandrel.exe");
  WriteFileBytes(box.folder.Sub("Tandrel.exe"), "installed");
  WriteFileBytes(staged, "new");

  ::testing::internal::CaptureStderr();
  const bool placed = PlaceStagedFile(box.state, "7.5.13", staged);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(placed);
  EXPECT_NE(said.find("the row is refused"), std::string::npos) << said;
  EXPECT_EQ(ReadFileBytes(box.folder.Sub("Tandrel.exe")), "new");
  EXPECT_EQ(box.Clinic("SELECT count(*) FROM 버전파일개별"), std::vector<std::string>{"0"});
  // Where the platform copies rather than moves the staged file, the staged copy left behind
  // goes to the pending folder, whose apply records it; it must be the new file.
  const std::string pending = box.folder.Sub("Newupdate/program/Tandrel.exe");
  if (FileExists(pending)) {
    EXPECT_EQ(ReadFileBytes(pending), "new");
  }

  ExecSqlite(box.clinic, {"DROP TRIGGER refuse"});
  WriteFileBytes(staged, "new");
  EXPECT_TRUE(PlaceStagedFile(box.state, "7.5.13", staged));
  EXPECT_EQ(ReadFileBytes(box.folder.Sub("Tandrel.exe")), "new");
  EXPECT_EQ(box.Clinic("SELECT 버전, 프로그램명, 상태 FROM 버전파일개별"),
            std::vector<std::string>{"7.5.13|Tandrel.exe|Server"});
}

}  // namespace
}  // namespace quillmend::testing

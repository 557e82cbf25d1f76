// Placing a staged file with each file operation failing in turn: the target keeps its old
// bytes and the new file waits whole in the pending folder, unrecorded; or it is placed and
// recorded. And when even the deferral fails, the server pass is told not to move on.
#include <gtest/gtest.h>

#include <filesystem>

#include "apply/pending_update.h"
#include "apply/placement.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "startup/settings.h"
#include "support/fault_sweep.h"
#include "support/temp_folder.h"
#include "workstation.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;
namespace fs = std::filesystem;

// Names of the temporary files that placement leaves behind when it goes wrong.
TEST(PlacementUnderFaults, EachFailingCallKeepsTheOldTargetAndDefersTheWholeNewFile) {
  Workstation ws;
  const std::string staged = ws.Stage("program/Reports/a.rpt", std::string(300000, 'n'));
  const std::string target = ws.Program("Reports/a.rpt");
  const std::string pending = ws.Program("NewUpdate/program/Reports/a.rpt");
  size_t records_before = 0;

  FaultSweep sweep;
  sweep.operations = {FaultOperation::kOpen, FaultOperation::kWrite, FaultOperation::kFlush,
                      FaultOperation::kSetTime, FaultOperation::kRename};
  sweep.error = FaultError::kDiskFull;
  sweep.prepare = [&] {
    std::error_code ignored;
    fs::remove_all(FsPath(ws.Program("NewUpdate")), ignored);
    Workstation::Write(target, "old report");
    Workstation::ShiftTime(target, std::chrono::hours(-24));
    records_before = ws.OfflineRecords().size();
    ws.state.g_AllPlaced = true;
    ::testing::internal::CaptureStderr();
  };
  sweep.run = [&](std::string* error) {
    const bool placed = PlaceStagedFile(ws.state, "7.5.13", staged);
    *error = ::testing::internal::GetCapturedStderr();
    return placed;
  };
  sweep.check = [&](const FaultRun& run) {
    const size_t records = ws.OfflineRecords().size();
    if (run.succeeded) {
      EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(staged));
      EXPECT_EQ(records, records_before + 1);
      EXPECT_FALSE(FileExists(pending));
    } else {
      EXPECT_EQ(ReadFileBytes(target), "old report");
      EXPECT_EQ(ReadFileBytes(pending), ReadFileBytes(staged));
      EXPECT_EQ(LastModifiedStamp(pending), LastModifiedStamp(staged));
      EXPECT_EQ(records, records_before) << "a file that is not in place is not recorded";
      // The log says which file and which step failed.
      EXPECT_NE(run.error.find("cannot place " + staged + ": cannot "), std::string::npos)
          << run.error;
    }
    EXPECT_TRUE(ws.state.g_AllPlaced);
    EXPECT_EQ(TemporaryFilesBelow(ws.folder.path()), std::vector<std::string>{});
  };
  EXPECT_GE(RunFaultSweep(sweep), 5u);
}

TEST(PlacementUnderFaults, WhenTheDeferralFailsTooNothingIsLeftHalfDone) {
  Workstation ws;
  const std::string staged = ws.Stage("system/Grid.ocx", "new grid");
  const std::string target = ws.System("Grid.ocx");
  Workstation::Write(target, "old grid");
  Workstation::ShiftTime(target, std::chrono::hours(-24));
  {
    // Every rename fails: neither the target nor the pending copy can be put in place.
    ScopedFaults faults({FaultRule{FaultOperation::kRename, "*", FaultError::kReadOnly}});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.13", staged));
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("cannot defer " + staged), std::string::npos) << log;
    EXPECT_EQ(InjectedFaultCount(), 2u);
  }
  EXPECT_FALSE(ws.state.g_AllPlaced);
  EXPECT_EQ(ReadFileBytes(target), "old grid");
  EXPECT_FALSE(FileExists(ws.Program("NewUpdate/system/Grid.ocx")));
  EXPECT_TRUE(ws.OfflineRecords().empty());
  EXPECT_EQ(TemporaryFilesBelow(ws.folder.path()), std::vector<std::string>{});
}

// Velmont.exe of one version cannot be placed and waits in the pending folder; a later version
// places its own Velmont.exe. The start after that must not put the older copy back: the file in
// place is the one the later version recorded.
TEST(PlacementUnderFaults, ALaterPlacementRetiresTheOlderPendingCopy) {
  Workstation ws({true, true});
  WriteIniValue(ws.Program("orvel_h.ini"), "Version", "Last", "7.6.0");
  const std::string target = ws.Program("Velmont.exe");
  const std::string pending = ws.Program("NewUpdate/program/Velmont.exe");
  Workstation::Write(target, "7.5.13 velmont");
  Workstation::ShiftTime(target, std::chrono::hours(-48));

  const std::string older = ws.Stage("program/Velmont.exe", "7.5.14 velmont");
  Workstation::ShiftTime(older, std::chrono::hours(-24));
  {
    ScopedFaults faults({FaultRule{FaultOperation::kRename, "*Velmont.exe*",
                                   FaultError::kAccessDenied, 1, 1}});
    EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.14", older));
    EXPECT_EQ(InjectedFaultCount(), 1u);
  }
  ASSERT_EQ(ReadFileBytes(pending), "7.5.14 velmont");

  const std::string newer = ws.Stage("program/Velmont.exe", "7.6.0 velmont!");
  EXPECT_TRUE(PlaceStagedFile(ws.state, "7.6.0", newer));
  EXPECT_EQ(ReadFileBytes(target), "7.6.0 velmont!");
  EXPECT_FALSE(FileExists(pending));
  CheckPendingUpdate(ws.state);
  EXPECT_EQ(ReadFileBytes(target), "7.6.0 velmont!");
  EXPECT_EQ(ws.OfflineRecords().size(), 1u) << "only the 7.6.0 placement is recorded";

  // The same when the older copy was deferred from the program folder's staging (NewUpdate) and
  // the newer file comes from the server share (whose deferrals go to Newupdate).
  const std::string share = ws.folder.Sub("share/download");
  WriteIniValue(ws.Program("orvel_h.ini"), "SERVER", "PATH", share);
  const std::string report = ws.Program("Reports/r.rpt");
  Workstation::Write(ws.Program("Reports"), "a file, not a folder");
  EXPECT_FALSE(PlaceStagedFile(ws.state, "7.6.1", ws.Stage("program/Reports/r.rpt", "old")));
  ASSERT_EQ(ReadFileBytes(ws.Program("NewUpdate/program/Reports/r.rpt")), "old");
  fs::remove(FsPath(ws.Program("Reports")));
  Workstation::Write(share + "/program/Reports/r.rpt", "newer report");
  EXPECT_TRUE(PlaceStagedFile(ws.state, "7.6.2", share + "/program/Reports/r.rpt"));
  CheckPendingUpdate(ws.state);
  EXPECT_EQ(ReadFileBytes(report), "newer report");
}

}  // namespace
}  // namespace quillmend

// Applying a downloaded version (an archive to expand, a plain system file) with each file
// operation failing in turn: every installed file is its old or its new self, a file that is
// not in place waits whole in the pending folder or (its version stopped) nowhere, only the
// files in place of a whole version are recorded, and no temporary file is left anywhere.
#include <gtest/gtest.h>

#include <filesystem>

#include "apply/apply_downloaded.h"
#include "cab_fixtures.h"
#include "platform/file_names.h"
#include "support/fault_sweep.h"
#include "support/temp_folder.h"
#include "workstation.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;
namespace fs = std::filesystem;

TEST(ApplyUnderFaults, EachFailingCallLeavesOldOrNewFilesAndRecordsOnlyWhatIsInPlace) {
  Workstation ws;
  const std::string velmont = ProgramLikeBytes(200000, 4);
  const std::string grid = ProgramLikeBytes(30000, 6);
  Workstation::Write(ws.folder.Sub("cabsrc/Velmont.exe"), velmont);
  const std::string cab = ws.Program("download/program/Velmont.exe.cab");
  fs::create_directories(FsPath(ws.Program("download/program")));
  MakeCab(cab, {ws.folder.Sub("cabsrc/Velmont.exe")});
  const std::string staged_grid = ws.Stage("system/Grid.ocx", grid);
  const std::string expanded = ws.Program("download/program/Velmont.exe");
  size_t records_before = 0;
  bool whole = false;

  FaultSweep sweep;
  sweep.operations = {FaultOperation::kOpen,    FaultOperation::kWrite,
                      FaultOperation::kFlush,   FaultOperation::kRename,
                      FaultOperation::kSetTime, FaultOperation::kRemove};
  sweep.error = FaultError::kIoError;
  sweep.prepare = [&] {
    std::error_code ignored;
    fs::remove_all(FsPath(ws.Program("NewUpdate")), ignored);
    fs::remove(FsPath(expanded), ignored);
    Workstation::Write(ws.Program("Velmont.exe"), "installed Velmont");
    Workstation::Write(ws.System("Grid.ocx"), "installed grid");
    Workstation::ShiftTime(ws.Program("Velmont.exe"), std::chrono::hours(-24));
    Workstation::ShiftTime(ws.System("Grid.ocx"), std::chrono::hours(-24));
    ws.window.lstFile.Clear();
    ws.window.lstFile.AddItem(cab);
    ws.window.lstFile.AddItem(staged_grid);
    records_before = ws.OfflineRecords().size();
  };
  sweep.run = [&](std::string*) {
    whole = ApplyDownloadedFiles(ws.state, "7.5.13");
    return ReadFileBytes(ws.Program("Velmont.exe")) == velmont &&
           ReadFileBytes(ws.System("Grid.ocx")) == grid;
  };
  sweep.check = [&](const FaultRun&) {
    size_t in_place = 0;
    const std::string installed_velmont = ReadFileBytes(ws.Program("Velmont.exe"));
    if (installed_velmont == velmont) {
      ++in_place;
    } else {
      EXPECT_EQ(installed_velmont, "installed Velmont");
      // Not in place: deferred whole, or its archive did not expand and nothing of it exists.
      if (FileExists(expanded)) {
        EXPECT_EQ(ReadFileBytes(expanded), velmont);
        EXPECT_EQ(ReadFileBytes(ws.Program("NewUpdate/program/Velmont.exe")), velmont);
      } else {
        EXPECT_FALSE(FileExists(ws.Program("NewUpdate/program/Velmont.exe")));
      }
    }
    const std::string installed_grid = ReadFileBytes(ws.System("Grid.ocx"));
    if (installed_grid == grid) {
      ++in_place;
    } else {
      EXPECT_EQ(installed_grid, "installed grid");
      // Deferred whole, or the version stopped before it (an archive that did not expand, a
      // file that could neither be placed nor deferred) and it was left alone.
      if (FileExists(ws.Program("NewUpdate/system/Grid.ocx"))) {
        EXPECT_EQ(ReadFileBytes(ws.Program("NewUpdate/system/Grid.ocx")), grid);
      } else {
        EXPECT_FALSE(whole);
      }
    }
    // A version that is not whole records nothing, not even its files in place.
    EXPECT_EQ(ws.OfflineRecords().size(), records_before + (whole ? in_place : 0));
    EXPECT_EQ(TemporaryFilesBelow(ws.folder.path()), std::vector<std::string>{});
  };
  EXPECT_GE(RunFaultSweep(sweep), 10u);
}

}  // namespace
}  // namespace quillmend

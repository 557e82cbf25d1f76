// Applying a downloaded version (an archive to expand, a plain system file) with each file
// operation, and each allocation of a database statement, failing in turn: every installed
// file is its old or its new self, a file that is not in place waits whole in the pending
// folder or (its version stopped) nowhere, only the files in place of a whole version are
// recorded, 버전파일 lists the whole version or nothing of it, and no temporary file is left.
#include <gtest/gtest.h>

#include <filesystem>

#include "apply/apply_downloaded.h"
#include "cab_fixtures.h"
#include "platform/file_names.h"
#include "support/fault_sweep.h"
#include "support/sqlite_fixtures.h"
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
    ExecSqlite(ws.clinic_db, {"DELETE FROM 버전파일"});
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
    EXPECT_EQ(ws.VersionFileRows().size(), whole ? 2u : 0u);
    EXPECT_EQ(TemporaryFilesBelow(ws.folder.path()), std::vector<std::string>{});
  };
  EXPECT_GE(RunFaultSweep(sweep), 10u);
}

// The record step with each allocation of a database statement failing in turn. Every file is
// in place by then; a file whose record fails also waits in the pending folder, which records
// it at the next start, and 버전파일 lists the whole version or none of it.
TEST(ApplyUnderFaults, EachFailingStatementLeavesEveryPlacedFileRecordedOrWaitingToBe) {
  Workstation ws;
  const std::vector<std::string> names = {"program/a.dat", "system/b.dat"};
  std::vector<std::string> staged;
  for (const std::string& name : names) staged.push_back(ws.Stage(name, "new " + name));
  auto installed = [&](size_t i) {
    return i == 0 ? ws.Program("a.dat") : ws.System("b.dat");
  };
  size_t records_before = 0;
  bool whole = false;

  FaultSweep sweep;
  sweep.operations = {FaultOperation::kAllocate};
  sweep.path_pattern = "stmt";
  sweep.prepare = [&] {
    std::error_code ignored;
    fs::remove_all(FsPath(ws.Program("NewUpdate")), ignored);
    ws.window.lstFile.Clear();
    for (size_t i = 0; i < names.size(); ++i) {
      Workstation::Write(installed(i), "old");
      Workstation::ShiftTime(installed(i), std::chrono::hours(-24));
      ws.window.lstFile.AddItem(staged[i]);
    }
    records_before = ws.OfflineRecords().size();
    ExecSqlite(ws.clinic_db, {"DELETE FROM 버전파일"});
  };
  sweep.run = [&](std::string*) {
    whole = ApplyDownloadedFiles(ws.state, "7.5.13");
    return whole;
  };
  sweep.check = [&](const FaultRun& run) {
    const std::vector<std::string> records = ws.OfflineRecords();
    for (size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(ReadFileBytes(installed(i)), "new " + names[i]);
      const std::string file_name = fs::path(names[i]).filename().string();
      bool recorded = false;
      for (size_t r = records_before; r < records.size(); ++r) {
        recorded = recorded || records[r].find("|" + file_name + "|") != std::string::npos;
      }
      if (!recorded) {
        EXPECT_EQ(ReadFileBytes(ws.Program("NewUpdate/" + names[i])), "new " + names[i])
            << run.Describe();
      }
    }
    EXPECT_LE(records.size() - records_before, names.size());
    EXPECT_EQ(ws.VersionFileRows().size(), whole ? names.size() : 0u) << run.Describe();
  };
  EXPECT_GE(RunFaultSweep(sweep), 4u);
}

}  // namespace
}  // namespace quillmend

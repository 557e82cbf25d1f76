// Placing staged files: targets from the staging layout, the time rule, the running program's
// own executable, registration, records, deferral to the pending folder, refused paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "apply/placement.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "startup/settings.h"
#include "base/text.h"
#include "support/program_bytes.h"
#include "support/temp_folder.h"
#include "workstation.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;
namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
  return ReadFileBytes(std::string(QM_FIXTURE_DIR) + "/" + name);
}
const std::string kDllVersion = QM_FIXTURE_DLL_VERSION;
const std::string kExeVersion = QM_FIXTURE_EXE_VERSION;

// A whole-second time, which every platform's time setter keeps exactly.
void SetWholeSecondTime(const std::string& path, const std::string& like) {
  const auto t = fs::last_write_time(FsPath(like));
  fs::last_write_time(FsPath(path), std::chrono::floor<std::chrono::seconds>(t));
}

TEST(Placement, EqualTimesRegisterAndRecordAgainWithoutCopying) {
  Workstation ws;
  const std::string staged = ws.Stage("system/Grid.ocx", Fixture("versioned.dll"));
  SetWholeSecondTime(staged, staged);
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.13", staged));
  const std::string target = ws.System("Grid.ocx");
  EXPECT_EQ(ReadFileBytes(target), Fixture("versioned.dll"));

  // Same time and size, other bytes: that is "already current", so nothing is copied.
  const std::string edited(Fixture("versioned.dll").size(), 'e');
  WriteFileBytes(target, edited);
  SetWholeSecondTime(target, staged);
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.14", staged));
  EXPECT_EQ(ReadFileBytes(target), edited);
  EXPECT_EQ(ws.RegisteredTargets(2), (std::vector<std::string>{target, target}));
  // The version text is the target's: the second time it has none.
  EXPECT_EQ(ws.OfflineRecords(), (std::vector<std::string>{
                                     "7.5.13|Grid.ocx|" + kDllVersion + "|Server",
                                     "7.5.14|Grid.ocx||Server"}));
  EXPECT_FALSE(FileExists(ws.Program("NewUpdate")));
}

TEST(Placement, TheSameTimeWithAnotherSizeIsAnotherBuildAndIsPlaced) {
  // Archive times have 2-second steps: two builds made within one step share a time.
  Workstation ws;
  const std::string staged = ws.Stage("program/Velmont.exe", ProgramLikeBytes(400000, 60));
  const std::string target = ws.Program("Velmont.exe");
  Workstation::Write(target, ProgramLikeBytes(300000, 13));
  SetWholeSecondTime(staged, staged);
  SetWholeSecondTime(target, staged);
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.6.0", staged));
  EXPECT_EQ(ReadFileBytes(target), ProgramLikeBytes(400000, 60));
}

TEST(Placement, AnOlderStagedFileReplacesANewerTargetAndKeepsItsTime) {
  Workstation ws;
  const std::string staged = ws.Stage("program/Reports/a.rpt", "report v1");
  Workstation::ShiftTime(staged, std::chrono::hours(-48));
  const std::string target = ws.Program("Reports/a.rpt");
  Workstation::Write(target, "report v2, newer");
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.13", staged));
  EXPECT_EQ(ReadFileBytes(target), "report v1");
  EXPECT_EQ(fs::last_write_time(FsPath(target)), fs::last_write_time(FsPath(staged)));
  EXPECT_FALSE(FileExists(PlacementTempPath(target)));
  EXPECT_EQ(ws.OfflineRecords(), (std::vector<std::string>{"7.5.13|a.rpt||Server"}));
}

TEST(Placement, TheOwnExecutableLandsBesideTheRunningOne) {
  Workstation ws;
  const std::string running = ws.Program("quillmend.exe");
  Workstation::Write(running, Fixture("versioned.exe"));
  Workstation::ShiftTime(running, std::chrono::hours(-24));
  const std::string staged = ws.Stage("Program/QUILLMEND.EXE", Fixture("plain.exe"));
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.13", staged));
  EXPECT_EQ(ReadFileBytes(running), Fixture("versioned.exe"));
  EXPECT_EQ(ReadFileBytes(ws.Program("Quillmend1.exe")), Fixture("plain.exe"));
  // Recorded with the version of the running executable, the target.
  EXPECT_EQ(ws.OfflineRecords(),
            (std::vector<std::string>{"7.5.13|QUILLMEND.EXE|" + kExeVersion + "|Server"}));

  // Where no copy exists yet, the new one is placed under its own name.
  const std::string in_sub = ws.Stage("program/tools/quillmend.exe", Fixture("plain.exe"));
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.13", in_sub));
  EXPECT_EQ(ReadFileBytes(ws.Program("tools/quillmend.exe")), Fixture("plain.exe"));
}

TEST(Placement, OnlyTheSystemFolderRegistersAndMarkersIgnoreCase) {
  Workstation ws;
  const std::string as_program = ws.Stage("program/Grid.Ocx", Fixture("versioned.dll"));
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.13", as_program));
  const std::string as_system = ws.Stage("System/sub/Grid.Ocx", Fixture("versioned.dll"));
  const std::string mixed = ReplaceAll(as_system, "download", "DownLoad");
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.13", mixed));
  EXPECT_TRUE(FileExists(ws.Program("Grid.Ocx")));
  EXPECT_TRUE(FileExists(ws.System("sub/Grid.Ocx")));
  EXPECT_EQ(ws.RegisteredTargets(1), (std::vector<std::string>{ws.System("sub/Grid.Ocx")}));
}

TEST(Placement, OnlineRecordsGoToTheCrm) {
  Workstation ws;
  ws.GoOnline();
  ASSERT_TRUE(PlaceStagedFile(ws.state, "7.5.13", ws.Stage("program/Velmont.exe",
                                                           Fixture("versioned.exe"))));
  EXPECT_EQ(ws.OnlineRecords(),
            (std::vector<std::string>{"7.5.13|Velmont.exe|" + kExeVersion + "|Internet"}));
  EXPECT_TRUE(ws.OfflineRecords().empty());
}

TEST(Placement, AFileThatCannotBePlacedWaitsInThePendingFolder) {
  Workstation ws;
  // The target folder is taken by a file, so the target cannot be written.
  Workstation::Write(ws.Program("Reports"), "a file, not a folder");
  const std::string staged = ws.Stage("program/Reports/a.rpt", "report");
  EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.13", staged));
  EXPECT_EQ(ReadFileBytes(ws.Program("NewUpdate/program/Reports/a.rpt")), "report");
  EXPECT_EQ(fs::last_write_time(FsPath(ws.Program("NewUpdate/program/Reports/a.rpt"))),
            fs::last_write_time(FsPath(staged)));
  EXPECT_TRUE(ws.state.g_AllPlaced);
  EXPECT_TRUE(ws.OfflineRecords().empty());

  // When even the pending folder cannot be written, the server pass must not move on.
  Workstation::Write(ws.Program("NewUpdate/system"), "a file where the pending folder goes");
  Workstation::Write(ws.System("x.dll/inside"), "a folder where the library goes");
  EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.13", ws.Stage("system/x.dll", "lib")));
  EXPECT_FALSE(ws.state.g_AllPlaced);
}

TEST(Placement, FilesStagedOnTheServerShareWaitBelowNewupdate) {
  Workstation ws;
  const std::string share = ws.folder.Sub("share/download");
  WriteIniValue(ws.Program("orvel_h.ini"), "SERVER", "PATH", share);
  Workstation::Write(ws.Program("Reports"), "a file, not a folder");
  const std::string staged = share + "/program/Reports/b.rpt";
  Workstation::Write(staged, "from the server");
  EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.13", staged));
  EXPECT_EQ(ReadFileBytes(ws.Program("Newupdate/program/Reports/b.rpt")), "from the server");
}

TEST(Placement, MissingFilesAndPathsWithoutAPlaceAreNotWritten) {
  Workstation ws;
  EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.13", ws.Program("download/program/none.exe")));
  EXPECT_EQ(ws.FailureLog(), "");

  // Neither marker: no target.
  const std::string stray = ws.Stage("readme.txt", "text");
  EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.13", stray));
  // A path that climbs out of the program folder.
  ws.Stage("program/x.exe", "x");
  const std::string climbing = ws.Program("download/program/../../../evil.exe");
  Workstation::Write(ws.folder.Sub("evil.exe"), "evil");
  EXPECT_FALSE(PlaceStagedFile(ws.state, "7.5.13", climbing));

  const std::string log = ws.FailureLog();
  EXPECT_NE(log.find("readme.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("evil.exe"), std::string::npos) << log;
  EXPECT_FALSE(FileExists(ws.Program("NewUpdate")));
  EXPECT_FALSE(FileExists(ws.Program("readme.txt")));
  EXPECT_FALSE(FileExists(ws.folder.Sub("Orvel/evil.exe")));
  EXPECT_TRUE(ws.OfflineRecords().empty());
}

}  // namespace
}  // namespace quillmend

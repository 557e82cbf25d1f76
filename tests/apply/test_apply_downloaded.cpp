// Applying a downloaded version: CAB archives of any case expanded (and only those), damaged
// archives placing nothing, one 버전파일 row per version and file, the companion program.
#include <gtest/gtest.h>

#include <filesystem>

#include "apply/apply_downloaded.h"
#include "cab_fixtures.h"
#include "platform/file_names.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"
#include "workstation.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;
namespace fs = std::filesystem;

// Stages relative (below download) as a CAB archive named relative + suffix.
std::string StageCab(Workstation& ws, const std::string& relative, const std::string& bytes,
                     const std::string& suffix) {
  const std::string plain = ws.folder.Sub("cabsrc/" + fs::path(relative).filename().string());
  Workstation::Write(plain, bytes);
  const std::string cab = ws.Program("download/" + relative + suffix);
  fs::create_directories(FsPath(cab).parent_path());
  MakeCab(cab, {plain});
  return cab;
}

TEST(ApplyDownloaded, ExpandsArchivesOfAnyCaseAndPlacesEveryFile) {
  Workstation ws;
  const std::string velmont = ProgramLikeBytes(300000, 1);
  const std::string grid = ProgramLikeBytes(40000, 2);
  ws.window.lstFile.AddItem(StageCab(ws, "program/Velmont.exe", velmont, ".CAB"));
  ws.window.lstFile.AddItem(StageCab(ws, "system/grid.ocx", grid, ".cab"));
  ws.window.lstFile.AddItem(ws.Stage("program/notes.cabx", "not an archive"));

  ApplyDownloadedFiles(ws.state, "7.5.13");

  EXPECT_EQ(ReadFileBytes(ws.Program("Velmont.exe")), velmont);
  EXPECT_EQ(ReadFileBytes(ws.System("grid.ocx")), grid);
  EXPECT_EQ(ReadFileBytes(ws.Program("notes.cabx")), "not an archive");
  EXPECT_EQ(ws.VersionFileRows(), (std::vector<std::string>{
                                      "7.5.13|\\download\\program\\Velmont.exe",
                                      "7.5.13|\\download\\system\\grid.ocx",
                                      "7.5.13|\\download\\program\\notes.cabx"}));
  EXPECT_EQ(ws.window.lblCaption[0].caption, "최신 프로그램을 적용중입니다.");
  EXPECT_EQ(ws.window.lblCaption[1].caption, "잠시만 기다려 주십시요");
  EXPECT_EQ(ws.window.lblFile.caption, "notes.cabx 적용중");
  EXPECT_EQ(ws.window.lblCounter.caption, "3/3");
  EXPECT_EQ(ws.window.prgAll.value, 100);
  EXPECT_EQ(ws.window.prgAll.max, 100);
}

TEST(ApplyDownloaded, ADamagedArchiveFailsTheVersionAndKeepsTheEarlierExpansion) {
  Workstation ws;
  const std::string cab = StageCab(ws, "program/Velmont.exe", ProgramLikeBytes(200000, 5), ".cab");
  std::string bytes = ReadFileBytes(cab);
  bytes[DataBlockOffsets(bytes).front() + 30] ^= 0x04;
  WriteFileBytes(cab, bytes);
  // What an earlier version left expanded in the staging folder.
  ws.Stage("program/Velmont.exe", "last version's Velmont");
  Workstation::Write(ws.Program("Velmont.exe"), "installed Velmont");
  // A file of the same version that expands well comes first: it is not placed either.
  ws.window.lstFile.AddItem(StageCab(ws, "system/grid.ocx", ProgramLikeBytes(4000, 6), ".cab"));
  ws.window.lstFile.AddItem(cab);

  std::string failure;
  EXPECT_FALSE(ApplyDownloadedFiles(ws.state, "7.5.13", &failure));

  EXPECT_NE(failure.find("Velmont.exe.cab"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(ws.Program("Velmont.exe")), "installed Velmont");
  EXPECT_FALSE(FileExists(ws.System("grid.ocx")));
  // The staging folder, which other workstations copy from, keeps what it held.
  EXPECT_EQ(ReadFileBytes(ws.Program("download/program/Velmont.exe")), "last version's Velmont");
  EXPECT_FALSE(FileExists(ws.Program("NewUpdate")));
  EXPECT_TRUE(ws.OfflineRecords().empty());
  EXPECT_TRUE(ws.VersionFileRows().empty());
  EXPECT_NE(ws.FailureLog().find("NotExpanded(ApplyDownloadedFiles)"), std::string::npos);
}

TEST(ApplyDownloaded, OneRowPerVersionAndFile) {
  Workstation ws;
  ws.window.lstFile.AddItem(ws.Stage("program/a.dat", "a"));
  // The program folder spelled in other case still gives the relative path.
  ws.window.lstFile.AddItem(ws.state.program_folder_.substr(0, ws.state.program_folder_.size() - 5) +
                            "ORVEL/download/program/b.dat");
  ws.Stage("program/b.dat", "b");
  ApplyDownloadedFiles(ws.state, "7.5.13");
  ApplyDownloadedFiles(ws.state, "7.5.13");
  ApplyDownloadedFiles(ws.state, "7.5.14");
  EXPECT_EQ(ws.VersionFileRows(), (std::vector<std::string>{
                                      "7.5.13|\\download\\program\\a.dat",
                                      "7.5.13|\\download\\program\\b.dat",
                                      "7.5.14|\\download\\program\\a.dat",
                                      "7.5.14|\\download\\program\\b.dat"}));
}

// The other workstations copy what 버전파일 lists for a version: a version whose rows cannot
// all be written leaves none of them, and is not applied.
TEST(ApplyDownloaded, AVersionsRowsAreWrittenAllOrNone) {
  Workstation ws;
  ws.window.lstFile.AddItem(ws.Stage("program/a.dat", "a"));
  ws.window.lstFile.AddItem(ws.Stage("program/b.dat", "b"));
  ws.window.lstFile.AddItem(ws.Stage("program/c.dat", "c"));
  ExecSqlite(ws.clinic_db, {"CREATE TRIGGER refuse BEFORE INSERT ON 버전파일 "
                            "WHEN NEW.파일 LIKE '%b.dat' "
                            "BEGIN SELECT RAISE(ABORT, 'the row is refused'); END"});
  std::string failure;
  EXPECT_FALSE(ApplyDownloadedFiles(ws.state, "7.5.13", &failure));
  EXPECT_NE(failure.find("7.5.13"), std::string::npos) << failure;
  EXPECT_NE(ws.FailureLog().find("NotRecorded(ApplyDownloadedFiles) 7.5.13"), std::string::npos)
      << ws.FailureLog();
  EXPECT_TRUE(ws.VersionFileRows().empty());
  EXPECT_EQ(ReadFileBytes(ws.Program("a.dat")), "a");  // placed files stay placed

  // The connection is usable afterwards (no transaction left open), and the next apply of the
  // version records it whole.
  ExecSqlite(ws.clinic_db, {"DROP TRIGGER refuse"});
  std::vector<std::string> sql;
  ws.state.sql_trace_ = &sql;
  EXPECT_TRUE(ApplyDownloadedFiles(ws.state, "7.5.13"));
  ws.state.sql_trace_ = nullptr;
  std::vector<std::string> rows_sql;
  for (const std::string& text : sql) {
    if (text.find("transaction") != std::string::npos || text.find("버전파일 ") != std::string::npos) {
      rows_sql.push_back(text);
    }
  }
  const std::string select = "select 버전 from 버전파일 where 버전 = ? and 파일 = ? ";
  const std::string insert = " insert into 버전파일 (버전,파일,일자) values (?,?,?) ";
  EXPECT_EQ(rows_sql, (std::vector<std::string>{"begin transaction", select, insert, select,
                                                insert, select, insert, "commit transaction"}));
  EXPECT_EQ(ws.VersionFileRows(), (std::vector<std::string>{
                                      "7.5.13|\\download\\program\\a.dat",
                                      "7.5.13|\\download\\program\\b.dat",
                                      "7.5.13|\\download\\program\\c.dat"}));
}

TEST(ApplyDownloaded, TheCompanionProgramIsReplacedUnlessReadOnly) {
  Workstation ws;
  // Nothing staged: the companion stays, the progress still ends at 100 of 100.
  Workstation::Write(ws.Program("Tandrel.exe"), "old companion");
  ApplyDownloadedFiles(ws.state, "7.5.13");
  EXPECT_EQ(ReadFileBytes(ws.Program("Tandrel.exe")), "old companion");
  EXPECT_EQ(ws.window.prgAll.value, 100);
  EXPECT_TRUE(ws.VersionFileRows().empty());

  ws.Stage("Program/Tandrel.exe", "new companion");
  ApplyDownloadedFiles(ws.state, "7.5.13");
  EXPECT_EQ(ReadFileBytes(ws.Program("Tandrel.exe")), "new companion");
  // Copied, not moved: the staging folder is the share of the offline workstations.
  EXPECT_EQ(ReadFileBytes(ws.Program("download/Program/Tandrel.exe")), "new companion");

  ws.Stage("Program/Tandrel.exe", "newer companion");
  fs::permissions(FsPath(ws.Program("Tandrel.exe")), fs::perms::owner_read);
  ApplyDownloadedFiles(ws.state, "7.5.14");
  EXPECT_EQ(ReadFileBytes(ws.Program("Tandrel.exe")), "new companion");
}

}  // namespace
}  // namespace quillmend

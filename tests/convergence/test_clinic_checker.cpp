// The suite's checker against clinics whose state is planted by hand: it must find a version
// recorded over an old file, take a deferred copy as placed, see a change outside the running
// workstation's folders, and name what is missing at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "clinic_state.h"
#include "offline_workstation.h"
#include "release_set.h"
#include "startup/settings.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"

namespace quillmend::convergence {
namespace {

namespace fs = std::filesystem;
using testing::JoinedPath;
using testing::TempFolder;

class ClinicCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    releases_ = std::make_unique<ReleaseSet>(folder_.Sub("release"), folder_.Sub("ftp"), 4096);
    a_.label = "A";
    a_.layout = sandbox::SandboxLayout(folder_.Sub("seed/A"));
    a_.layout.clinic_db = folder_.Sub("seed/clinic.db");
    a_.host = "ws-a";
    a_.online = true;
    sandbox::ClinicOptions options;
    options.installed_version = kBaseVersion;
    sandbox::CreateClinic(a_.layout, options);
    b_.label = "B";
    b_.layout = sandbox::SandboxLayout(folder_.Sub("seed/B"));
    b_.layout.clinic_db = a_.layout.clinic_db;
    b_.host = "ws-b";
    sandbox::AddOfflineWorkstation(a_.layout, b_.layout, kBaseVersion, "");
    checker_ = std::make_unique<ClinicChecker>(releases_->Releases(true), a_, b_,
                                               folder_.Sub("seed"), a_.layout.clinic_db);
  }

  // Puts every file of the version where the workstation keeps it (and into A's share).
  void Install(const Workstation& w, const Release& release) {
    for (const ReleaseFile& f : release.files) {
      const std::string base = f.system() ? w.layout.system_folder : w.layout.program_folder;
      Copy(releases_->SourcePath(release.version, f), JoinedPath(base, f.PlacedPath()));
      if (&w == &a_) {
        Copy(releases_->SourcePath(release.version, f),
             JoinedPath(sandbox::SharePath(a_.layout), JoinedPath(f.subfolder, f.name)));
      }
    }
  }

  static void Copy(const std::string& from, const std::string& to) {
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  }

  static bool Has(const std::vector<Violation>& found, const std::string& kind,
                  const std::string& detail_part = "") {
    for (const Violation& v : found) {
      if (v.kind == kind && v.detail.find(detail_part) != std::string::npos) return true;
    }
    return false;
  }

  static std::string Show(const std::vector<Violation>& found) {
    std::string text;
    for (const Violation& v : found) text += v.kind + ": " + v.detail + "\n";
    return text;
  }

  TempFolder folder_;
  std::unique_ptr<ReleaseSet> releases_;
  Workstation a_;
  Workstation b_;
  std::unique_ptr<ClinicChecker> checker_;
};

TEST_F(ClinicCheckerTest, AVersionRecordedOverAnOldFileIsFoundAndADeferredCopyCountsAsPlaced) {
  const std::vector<Release> releases = releases_->Releases(true);
  checker_->SetPublished(2);
  Install(a_, releases[0]);
  WriteIniValue(a_.layout.settings_file, "Version", "Last", "7.5.13");
  FolderSnapshot before = checker_->Snapshot(a_);
  EXPECT_TRUE(checker_->AfterRun(a_, before).empty()) << Show(checker_->AfterRun(a_, before));

  // 7.5.14 recorded, its Velmont.exe still 7.5.13's and its new files missing.
  WriteIniValue(a_.layout.settings_file, "Version", "Last", "7.5.14");
  std::vector<Violation> found = checker_->AfterRun(a_, before);
  EXPECT_TRUE(Has(found, "recorded while not whole ([Version] Last)", "A:")) << Show(found);

  // Every file of 7.5.14 placed but Velmont.exe, which waits in the pending folder.
  Install(a_, releases[1]);
  const ReleaseFile& velmont = releases[1].files[0];
  ASSERT_EQ(velmont.name, "Velmont.exe");
  Copy(releases_->SourcePath("7.5.13", releases[0].files[0]),
       JoinedPath(a_.layout.program_folder, "Velmont.exe"));
  Copy(releases_->SourcePath("7.5.14", velmont),
       JoinedPath(a_.layout.program_folder, "NewUpdate/program/Velmont.exe"));
  before = checker_->Snapshot(a_);
  found = checker_->AfterRun(a_, before);
  EXPECT_TRUE(found.empty()) << Show(found);

  // The same file with bytes of no version is found, wherever it waits.
  sandbox::WriteBytes(JoinedPath(a_.layout.program_folder, "NewUpdate/program/Velmont.exe"), "torn");
  found = checker_->AfterRun(a_, before);
  EXPECT_TRUE(Has(found, "recorded while not whole ([Version] Last)", "Velmont.exe")) << Show(found);
}

TEST_F(ClinicCheckerTest, RecordsOfOneWorkstationAreCheckedAgainstItsOwnDiskAndDuplicatesFound) {
  const std::vector<Release> releases = releases_->Releases(true);
  checker_->SetPublished(1);
  Install(a_, releases[0]);
  const FolderSnapshot before = checker_->Snapshot(b_);
  // B's waiting row and B's CRM row name 7.5.13, which only A holds; A's row is there twice.
  // The table the agent makes at its first start.
  testing::ExecSqlite(a_.layout.clinic_db,
                      {"CREATE TABLE 버전파일개별 (ID integer primary key, 고객번호, 버전, 이름, ip, "
                       "프로그램명, 프로그램버전, 상태, 일자, 전송여부)",
                       "INSERT INTO 버전파일개별 (고객번호, 버전, 이름, ip, 프로그램명, 프로그램버전, "
                       "상태, 일자, 전송여부) VALUES ('C1001', '7.5.13', 'ws-b', '127.0.0.1', "
                       "'Velmont.exe', '', 'Server', '2026-01-01 00:00:00', 'N')"});
  for (const std::string& row :
       {std::string("('C1001','7.5.13','ws-b','127.0.0.1','Velmont.exe','','Server','')"),
        std::string("('C1001','7.5.13','ws-a','127.0.0.1','Velmont.exe','','Internet','')"),
        std::string("('C1001','7.5.13','ws-a','127.0.0.1','Velmont.exe','','Internet','')")}) {
    testing::ExecSqlite(a_.layout.crm_db,
                        {"INSERT INTO 오르벨거래처버전 (고객번호,버전,이름,ip,프로그램명,프로그램버전,"
                         "상태,일자) VALUES " + row});
  }
  const std::vector<Violation> found = checker_->AfterRun(b_, before);
  EXPECT_TRUE(Has(found, "recorded while not whole (a waiting row)", "B:")) << Show(found);
  EXPECT_TRUE(Has(found, "recorded while not whole (a CRM version row)", "B:")) << Show(found);
  EXPECT_FALSE(Has(found, "recorded while not whole (a CRM version row)", "A:")) << Show(found);
  EXPECT_TRUE(Has(found, "duplicate CRM version row", "ws-a")) << Show(found);
}

TEST_F(ClinicCheckerTest, PartOfAVersionIn버전파일IsFoundEvenWithEveryFileInPlace) {
  const std::vector<Release> releases = releases_->Releases(true);
  checker_->SetPublished(1);
  Install(a_, releases[0]);
  const FolderSnapshot before = checker_->Snapshot(a_);
  // A downloader stopped between two of its rows: an offline workstation would take the rows
  // for the whole version.
  testing::ExecSqlite(a_.layout.clinic_db,
                      {"CREATE TABLE 버전파일 (버전, 파일, 일자)",
                       "INSERT INTO 버전파일 VALUES ('7.5.13', '\\download\\program\\Velmont.exe', '')"});
  std::vector<Violation> found = checker_->AfterRun(a_, before);
  EXPECT_TRUE(Has(found, "버전파일 holds part of a version", "REPORTS\\MONTHLY.RPT")) << Show(found);
  EXPECT_FALSE(Has(found, "recorded while not whole (버전파일)")) << Show(found);
  std::vector<std::string> rows;
  for (const ReleaseFile& f : releases[0].files) {
    if (f.name == "Velmont.exe") continue;
    std::string path = "\\download\\" + f.subfolder + "\\" + f.name;
    std::replace(path.begin(), path.end(), '/', '\\');
    rows.push_back("INSERT INTO 버전파일 VALUES ('7.5.13', '" + path + "', '')");
  }
  testing::ExecSqlite(a_.layout.clinic_db, rows);
  found = checker_->AfterRun(a_, before);
  EXPECT_TRUE(found.empty()) << Show(found);
}

TEST_F(ClinicCheckerTest, AChangeOutsideTheRunningWorkstationsFoldersIsReported) {
  checker_->SetPublished(1);
  const FolderSnapshot before = checker_->Snapshot(b_);
  sandbox::WriteBytes(JoinedPath(sandbox::SharePath(a_.layout), "program/Velmont.exe"), "moved?");
  sandbox::WriteBytes(JoinedPath(b_.layout.program_folder, "Velmont.exe"), "B's own: allowed");
  const std::vector<Violation> found = checker_->AfterRun(b_, before);
  EXPECT_TRUE(Has(found, "a file outside the program, system and pending folders changed",
                  "download/program/Velmont.exe"))
      << Show(found);
  EXPECT_FALSE(Has(found, "a file outside the program, system and pending folders changed",
                   "B/Orvel/Velmont.exe"))
      << Show(found);
}

// A CRM row of a later version stands for a file that never was in place under its own (it
// waited, and the later version's file replaced it); the latest version's rows must all be there.
TEST_F(ClinicCheckerTest, ALaterVersionsRowStandsForAnOlderFileButTheLatestRowsMustBeThere) {
  auto missing_rows = [&] {
    std::vector<std::string> names;
    for (const Violation& v : checker_->AtConvergence()) {
      if (v.kind == "CRM version row missing") names.push_back(v.detail);
    }
    return names;
  };
  auto send = [&](const std::string& version, const std::string& program,
                  const std::string& state) {
    testing::ExecSqlite(a_.layout.crm_db,
                        {"INSERT INTO 오르벨거래처버전 (고객번호,버전,이름,ip,프로그램명,프로그램버전,"
                         "상태,일자) VALUES ('C1001','" + version + "','ws-a','127.0.0.1','" +
                         program + "','','" + state + "','')"});
  };
  const std::vector<Release> releases = releases_->Releases(true);
  checker_->SetPublished(2);
  for (const ReleaseFile& f : releases[1].files) send("7.5.14", f.name, "Internet");
  std::vector<std::string> expected;
  for (const ReleaseFile& f : releases[0].files) {
    bool in_later = false;
    for (const ReleaseFile& g : releases[1].files) in_later = in_later || g.name == f.name;
    if (!in_later) expected.push_back("A 7.5.13 " + f.name);
  }
  EXPECT_EQ(missing_rows(), expected);

  testing::ExecSqlite(a_.layout.crm_db, {"DELETE FROM 오르벨거래처버전 WHERE 버전 = '7.5.14' AND "
                                         "프로그램명 = 'Velmont.exe'"});
  send("7.5.13", "Velmont.exe", "Internet");
  expected.push_back("A 7.5.14 Velmont.exe");
  std::vector<std::string> found = missing_rows();
  std::sort(found.begin(), found.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
}

TEST_F(ClinicCheckerTest, AtTheEndWhatIsMissingIsNamedAndTheFingerprintFollowsTheFiles) {
  checker_->SetPublished(3);
  const std::string empty = checker_->Fingerprint();
  const std::vector<Violation> found = checker_->AtConvergence();
  EXPECT_TRUE(Has(found, "not converged: [Version] Last", "A is at 7.5.12")) << Show(found);
  EXPECT_TRUE(Has(found, "not converged: a file is not the latest version's", "B:")) << Show(found);
  EXPECT_TRUE(Has(found, "버전파일 row missing", "7.6.0")) << Show(found);
  EXPECT_TRUE(Has(found, "support record missing", "A 7.5.13")) << Show(found);
  sandbox::WriteBytes(JoinedPath(b_.layout.system_folder, "orvelgrid.ocx"), "x");
  EXPECT_NE(checker_->Fingerprint(), empty);
}

}  // namespace
}  // namespace quillmend::convergence

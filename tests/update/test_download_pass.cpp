// The Internet download pass end to end: a real FTP server, SQLite through ODBC, real CAB
// archives, real files and processes.
#include <gtest/gtest.h>

#include <filesystem>

#include "../process/child_processes.h"
#include "platform/file_names.h"
#include "support/host_paths.h"
#include "update_clinic.h"

namespace quillmend::testing {
namespace {

const std::vector<PublishedFile> kVersion13 = {
    {"program", "Velmont.exe", std::string(3000, 'a') + "version 7.5.13"},
    {"system", "Grid.ocx", std::string(1500, 'g') + "grid 7.5.13"}};
const std::vector<PublishedFile> kVersion60 = {
    {"program", "Velmont.exe", std::string(5000, 'b') + "version 7.6.0"},
    {"program", "Reports.dll", "reports 7.6.0"}};

int CountLines(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST(DownloadPass, DeclinedCloseQuestionDownloadsNothingAndKeepsTheInstalledVersion) {
  UpdateClinic clinic({false});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Serve();
  const std::string velmont = clinic.folder.Sub("running/Velmont.exe");
  InstallSleeperAs(velmont);
  ChildProcess running(velmont);

  clinic.runner->Down();

  ASSERT_EQ(clinic.host.shown().size(), 1u);
  EXPECT_NE(clinic.host.shown()[0].find("Orvel 업데이트를 지금 진행하시겠습니까?"),
            std::string::npos);
  EXPECT_FALSE(clinic.state.g_ContinueUpdate);
  EXPECT_TRUE(running.Running());
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_TRUE(clinic.VersionFileRows().empty());
  // Declined: the closing steps do not run, the schedule timer stays stopped.
  EXPECT_FALSE(clinic.window.timCheck.enabled);
}

TEST(DownloadPass, AcceptedAppliesEveryNewerVersionOldestFirstAndReportsEach) {
  UpdateClinic clinic({true});
  clinic.Publish("7.6.0", kVersion60);
  clinic.Publish("7.5.13", kVersion13);
  clinic.Serve();

  clinic.runner->Down();

  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(clinic.ProductVersion(), "7.6.0");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), kVersion60[0].bytes);
  EXPECT_EQ(ReadFileBytes(clinic.Program("Reports.dll")), kVersion60[1].bytes);
  EXPECT_EQ(ReadFileBytes(clinic.System("Grid.ocx")), kVersion13[1].bytes);
  EXPECT_TRUE(FileExists(clinic.Program("download/program/Velmont.exe.cab")));
  EXPECT_EQ(clinic.VersionFileRows(),
            (std::vector<std::string>{"7.5.13|\\download\\program\\Velmont.exe",
                                      "7.5.13|\\download\\system\\Grid.ocx",
                                      "7.6.0|\\download\\program\\Reports.dll",
                                      "7.6.0|\\download\\program\\Velmont.exe"}));
  EXPECT_EQ(clinic.CustomerVersionRows(),
            (std::vector<std::string>{"7.5.13|Velmont.exe|Internet", "7.5.13|Grid.ocx|Internet",
                                      "7.6.0|Reports.dll|Internet",
                                      "7.6.0|Velmont.exe|Internet"}));
  const auto receipts = clinic.SupportReceipts();
  ASSERT_EQ(receipts.size(), 2u);
  EXPECT_EQ(receipts[0].substr(8), "00001");
  EXPECT_EQ(receipts[1].substr(8), "00002");
  EXPECT_EQ(receipts[0].substr(0, 8), receipts[1].substr(0, 8));
  // Closing steps: display reset, schedule timer running, speed timer stopped, idle tip.
  EXPECT_EQ(clinic.window.lblCaption[0].caption, "최신 버전 설치가 완료되었습니다");
  EXPECT_TRUE(clinic.window.timCheck.enabled);
  EXPECT_FALSE(clinic.window.timCPS.enabled);
  EXPECT_EQ(clinic.window.lbl고객.caption, std::string(kCustomer) + "(7.6.0)");
}

TEST(DownloadPass, ARunningProductProgramIsClosedAfterOneQuestion) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Serve();
  const std::string drustan = clinic.folder.Sub("running/Drustan.exe");
  InstallSleeperAs(drustan);
  ChildProcess running(drustan);

  clinic.runner->Down();

  EXPECT_EQ(clinic.host.shown().size(), 1u);
  EXPECT_TRUE(running.WaitForEnd(5000));
  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
}

TEST(DownloadPass, NamesMatchWithoutCaseOrBlanksAndOnlyListedFilesAreFetched) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13",
                 {{"program", "Velmont.exe", "velmont"}, {"program", "extra.txt", "extra"}},
                 {"VELMONT.EXE.CAB ", "missing.dll.cab"});
  clinic.Serve();

  clinic.runner->Down();

  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "velmont");
  EXPECT_FALSE(FileExists(clinic.Program("download/program/extra.txt.cab")));
  EXPECT_FALSE(FileExists(clinic.Program("extra.txt")));
  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
  // Two names listed, one found: the counter shows what arrived against what was listed.
  EXPECT_EQ(clinic.state.files_downloaded_, 1);
  // The name the server does not hold is passed over, and on record.
  EXPECT_NE(clinic.FailureLog().find("NotOnServer(m_ftptree) 7.5.13 missing.dll.cab="),
            std::string::npos);
}

TEST(DownloadPass, AVersionWhoseFolderCannotBeOpenedIsSkippedAndTheNextOneInstalls) {
  UpdateClinic clinic({true, true});
  clinic.Publish("7.6.0", kVersion60);
  PublishVersion(clinic.crm_db, kCustomer, "7.5.13", {"Velmont.exe.cab"});  // not on the server
  if (FtpServer::CanStartOwnServers()) {
    // A pass whose file transfer broke comes first: what it left behind must not change how
    // the next pass treats a version it cannot reach.
    clinic.Serve(FtpServerKind::kPyftpdlib, {"retr-limit=40"});
    clinic.runner->Down();
    ASSERT_EQ(clinic.LastVersion(), "7.5.12");
  }
  clinic.Serve();

  clinic.runner->Down();

  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  // The server said the folder does not exist: logged as that, not as a failed connection.
  EXPECT_NE(clinic.FailureLog().find("NoFolder(m_DwonLoad) 127.0.0.1/orvel/7.5.13="),
            std::string::npos);
  EXPECT_EQ(clinic.FailureLog().find("NotConnect(m_DwonLoad)"), std::string::npos);
}

TEST(DownloadPass, ADroppedDataConnectionLeavesTheVersionUnrecordedUntilTheNextPass) {
  UpdateClinic clinic({true, true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Publish("7.6.0", kVersion60);
  if (!FtpServer::CanStartOwnServers()) GTEST_SKIP() << "needs a misbehaving server";
  clinic.Serve(FtpServerKind::kPyftpdlib, {"retr-limit=40"});

  clinic.runner->Down();

  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_TRUE(clinic.VersionFileRows().empty());
  EXPECT_TRUE(clinic.CustomerVersionRows().empty());
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_FALSE(FileExists(clinic.Program("download/program/Velmont.exe.cab")));

  clinic.Serve();
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), kVersion60[0].bytes);
}

TEST(DownloadPass, OfflineAtTheStartShowsTheMessageAndLogsIt) {
  UpdateClinic clinic;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  clinic.runner->Down();
  ASSERT_EQ(clinic.host.shown().size(), 1u);
  EXPECT_NE(clinic.host.shown()[0].find("인터넷연결이 되지않아 다운로드 할수 없습니다."),
            std::string::npos);
  EXPECT_NE(clinic.FailureLog().find("NotConnect(cmddown_click1)="), std::string::npos);
  EXPECT_TRUE(clinic.window.timCopy.enabled);
}

TEST(DownloadPass, NoFtpRowForTheCustomerEndsThePassWithTheMessage) {
  UpdateClinic clinic;
  clinic.Publish("7.5.13", kVersion13);
  clinic.runner->Down();
  ASSERT_EQ(clinic.host.shown().size(), 1u);
  EXPECT_EQ(clinic.host.shown()[0],
            std::string("Quillmend: 고객님의(") + kCustomer +
                ") 의 프로그램 자동 설치경로가 지정되지 않았습니다.\n고객센타로 문의 하세요");
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
}

TEST(DownloadPass, AFailingPassRestartsTheAutomaticPassOnlyOnce) {
  UpdateClinic clinic;
  ExecSqlite(clinic.crm_db, {"drop table 오르벨버전서버"});
  clinic.runner->Auto();
  // The error is shown once for the pass and once for its single restart; no loop.
  int errors = 0;
  for (const std::string& shown : clinic.host.shown()) errors += shown.find("오르벨버전서버") != std::string::npos;
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(CountLines(clinic.FailureLog(), "NotConnect(cmddwon_click2)"), 1);
  EXPECT_FALSE(clinic.state.pass_running_);
  // The schedule runs again, so a later tick retries instead of the agent falling silent.
  EXPECT_TRUE(clinic.window.timCheck.enabled);
}

TEST(DownloadPass, AServerThatWillNotNameItsFolderFailsTheVersionInsteadOfWalkingFromItsRoot) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", kVersion13);
  if (!FtpServer::CanStartOwnServers()) GTEST_SKIP() << "needs a misbehaving server";
  clinic.Serve(FtpServerKind::kPyftpdlib, {"refuse-cmd=PWD"});
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_TRUE(clinic.VersionFileRows().empty());
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_NE(clinic.FailureLog().find("NotConnect(m_DwonLoad)="), std::string::npos);
}

TEST(DownloadPass, APassArrivingWhileAnotherYieldsIsRefused) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Serve();
  int nested_attempts = 0;
  clinic.host.SetEventHook([&] {
    if (clinic.state.pass_running_ && nested_attempts < 3) {
      ++nested_attempts;
      clinic.runner->Auto();
      clinic.runner->Down();
    }
  });
  clinic.runner->Down();
  EXPECT_EQ(nested_attempts, 3);
  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
  // Only the outer pass reported: one support record.
  EXPECT_EQ(clinic.SupportReceipts().size(), 1u);
}

TEST(DownloadPass, ForcedDownloadInstallsTheSelectedVersionsOldestFirst) {
  UpdateClinic clinic;
  clinic.Publish("7.5.13", kVersion13);
  clinic.Publish("7.6.0", kVersion60);
  clinic.Serve();
  clinic.runner->Versions();
  ASSERT_EQ(clinic.window.lstVer.items, (std::vector<std::string>{"7.6.0", "7.5.13"}));
  clinic.window.lstVer.selected = {true, true};
  clinic.runner->Apply();
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), kVersion60[0].bytes);
}


TEST(DownloadPass, UnusableServerRowsFailTheVersionWithoutHarm) {
  UpdateClinic clinic({true, true, true});
  clinic.Publish("7.5.13", kVersion13);
  struct Row {
    const char* path;
    const char* port;
  };
  // An empty path, a path with no folder part, and a port that is not a number (port 21 is
  // taken then, where nothing listens).
  for (const Row row : {Row{"", "2121"}, Row{"127.0.0.1", "1"}, Row{"127.0.0.1/orvel", "abc"}}) {
    ExecSqlite(clinic.crm_db, {"delete from 오르벨버전서버"});
    AddFtpServerRow(clinic.crm_db, kCustomer, row.path, row.port, "u", "p", "", "");
    clinic.runner->Down();
    EXPECT_EQ(clinic.LastVersion(), "7.5.12") << row.path << " " << row.port;
    EXPECT_FALSE(clinic.state.pass_running_);
    EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  }
  EXPECT_NE(clinic.FailureLog().find("NotConnect(m_DwonLoad)="), std::string::npos);
}

TEST(DownloadPass, AVersionTextWithAQuoteIsQueriedSafely) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13'x", kVersion13);
  clinic.Publish("7.6.0", kVersion60);
  clinic.Serve();
  clinic.runner->Down();
  // The quoted version is found and its folder downloaded like any other; the newest wins.
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(ReadFileBytes(clinic.System("Grid.ocx")), kVersion13[1].bytes);
}


TEST(DownloadPass, AFileAndAFolderWhoseNamesDifferOnlyInCaseFailTheVersion) {
  if (PathSeparator() == "\\") GTEST_SKIP() << "this file system cannot hold both names";
  UpdateClinic clinic({true, true, true});
  clinic.Publish("7.5.13", kVersion13);
  std::filesystem::create_directories(
      FsPath(clinic.FtpRoot() + "/orvel/7.5.13/program/VELMONT.EXE.CAB"));
  clinic.Serve();
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_TRUE(clinic.VersionFileRows().empty());
  EXPECT_FALSE(clinic.state.pass_running_);
  // The failure is shown for the pass and for its one restart of the automatic pass.
  EXPECT_EQ(clinic.host.shown().size(), 2u);
  EXPECT_NE(clinic.FailureLog().find("NotConnect(cmddwon_click2)"), std::string::npos);
}


TEST(DownloadPass, AFolderThatVanishesDuringTheWalkFailsTheVersionInsteadOfLoopingOrRecording) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", kVersion13);
  std::filesystem::create_directories(FsPath(clinic.FtpRoot() + "/orvel/7.5.13/program/empty"));
  clinic.Serve();
  // Once the version folder has been listed, its system folder disappears from the server. A
  // walk that went on in the folder it was still in would then either find nothing there and
  // record the version without its system files, or list the version folder again without end.
  const std::string system_folder = clinic.FtpRoot() + "/orvel/7.5.13/system";
  clinic.host.SetEventHook([&] {
    if (clinic.state.entries_listed_ > 0) std::filesystem::remove_all(FsPath(system_folder));
  });
  clinic.runner->Down();
  clinic.host.SetEventHook(nullptr);
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_TRUE(clinic.VersionFileRows().empty());
  EXPECT_TRUE(clinic.CustomerVersionRows().empty());
  EXPECT_FALSE(clinic.state.pass_running_);
}

}  // namespace
}  // namespace quillmend::testing

// The server-share pass and the automatic pass around the passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../process/child_processes.h"
#include "platform/file_names.h"
#include "platform/processes.h"
#include "platform/programs.h"
#include "platform/system_info.h"
#include "process/process_list.h"
#include "base/text.h"
#include "startup/profile_file.h"
#include "support/ftp_servers.h"
#include "support/host_paths.h"
#include "support/wait_until.h"
#include "update_clinic.h"

namespace quillmend::testing {
namespace {

namespace fs = std::filesystem;

// Ends every process whose executable lies in folder.
void KillProgramsIn(const std::string& folder) {
  ListViewControl list;
  ListProcessesInto(list, GetPlatformId());
  for (const ListViewItem& item : list.items) {
    if (StartsWithNoCase(item.text, folder)) {
      TerminateProcessById(static_cast<std::uint32_t>(std::stoul(item.sub_item1)), 0);
    }
  }
}

// How many processes run the program at path. A program started by the pass is listed as soon
// as its start has returned, so this needs no waiting.
int ProcessesRunningFrom(const std::string& path) {
  ListViewControl list;
  ListProcessesInto(list, GetPlatformId());
  return static_cast<int>(std::count_if(list.items.begin(), list.items.end(),
                                        [&](const ListViewItem& item) {
                                          return EqualsNoCase(item.text, path);
                                        }));
}

// A release-notes viewer that appends the path it is given to log.
std::string NotesRecorder(UpdateClinic& clinic, const std::string& log) {
  if (PathSeparator() == "\\") return "cmd.exe /c >>\"" + log + "\" echo";
  const std::string viewer = clinic.folder.Sub("viewer.sh");
  WriteFileBytes(viewer, "#!/bin/sh\necho \"$1\" >> '" + log + "'\n");
  fs::permissions(FsPath(viewer), fs::perms::owner_all);
  return viewer;
}

// A release-notes viewer that stays running (a copy of the sleeper in the program folder), so
// that whether the pass opened the notes shows in the process list as soon as the pass returns.
std::string LastingNotesViewer(UpdateClinic& clinic) {
  const std::string viewer = clinic.Program("NotesViewer.exe");
  InstallSleeperAs(viewer);
  WriteProfileValue(clinic.Program("quillmend.ini"), "Platform", "NotesCommand", viewer);
  return viewer;
}

// A second workstation of the same clinic: its own program folder and settings, the same
// clinic database, offline.
void MakeOfflineTwin(UpdateClinic& twin, const UpdateClinic& downloader) {
  twin.clinic_db = downloader.clinic_db;
  WriteClinicDbSettings(twin.state.program_folder_, downloader.clinic_db);
  WriteProfileValue(twin.Program("ORVEL_H.ini"), "SERVER", "PATH",
                     downloader.Program("download") + PathSeparator());
  SetEnvironment("QUILLMEND_ONLINE", "0");
}

TEST(ServerPass, AnOfflineWorkstationCopiesWhatTheDownloaderRecorded) {
  UpdateClinic downloader({true});
  downloader.Publish("7.5.13", {{"program", "Velmont.exe", "v13"}, {"system", "x.ocx", "x13"}});
  downloader.Publish("7.6.0", {{"program", "Velmont.exe", "v60"}, {"program", "Orvel.dll", "o60"}});
  downloader.Serve();
  downloader.runner->Down();
  ASSERT_EQ(downloader.LastVersion(), "7.6.0");

  UpdateClinic twin;
  MakeOfflineTwin(twin, downloader);
  twin.runner->Auto();

  EXPECT_EQ(twin.window.Label6.caption.rfind("서버(", 0), 0u);
  EXPECT_EQ(ReadFileBytes(twin.Program("Velmont.exe")), "v60");
  EXPECT_EQ(ReadFileBytes(twin.System("x.ocx")), "x13");
  EXPECT_EQ(ReadFileBytes(twin.Program("Orvel.dll")), "o60");
  EXPECT_EQ(twin.LastVersion(), "7.6.0");
  // Offline: recorded locally under the newest version, each file once, waiting to be sent.
  const auto rows = twin.OfflineRows();
  ASSERT_EQ(rows.size(), 3u);
  for (const std::string& row : rows) {
    EXPECT_EQ(row.rfind("7.6.0|", 0), 0u) << row;
    EXPECT_NE(row.find("|Server|N"), std::string::npos) << row;
  }
  EXPECT_TRUE(twin.window.timCopy.enabled);
  EXPECT_FALSE(twin.window.timCheck.enabled);

  // The next online pass sends the waiting rows of its version and marks them.
  SetEnvironment("QUILLMEND_ONLINE", "1");
  const ClosedPort no_server;
  AddFtpServerRow(twin.crm_db, kCustomer, "127.0.0.1/orvel", no_server.port_text(), "u", "p", "",
                  "");
  twin.runner->Down();
  for (const std::string& row : twin.OfflineRows()) EXPECT_EQ(row.back(), 'Y') << row;
  EXPECT_EQ(twin.CustomerVersionRows().size(), 3u);
}

// A share laid out as a downloader leaves it, with the clinic database's rows for it.
struct Share {
  explicit Share(UpdateClinic& clinic) : clinic(clinic), root(clinic.folder.Sub("share/download")) {
    WriteProfileValue(clinic.Program("ORVEL_H.ini"), "SERVER", "PATH", root);
  }
  void Put(const std::string& name, const std::string& bytes) const {
    WriteFileBytes(root + PathSeparator() + "program" + PathSeparator() + name, bytes);
  }
  void Record(const std::string& version, const std::string& name) const {
    ExecSqlite(clinic.clinic_db, {"insert into 버전파일 values ('" + version +
                                  "', '\\download\\program\\" + name + "', '')"});
  }
  UpdateClinic& clinic;
  std::string root;
};

TEST(ServerPass, VersionsAreTakenInNumericOrderAndAFileMissingFromTheShareHoldsTheRestBack) {
  UpdateClinic clinic({}, "7.5.9");
  SetEnvironment("QUILLMEND_ONLINE", "0");
  Share share(clinic);
  share.Record("7.5.8", "old.exe");  // older than the installed version: never copied
  share.Put("old.exe", "old");
  share.Record("7.5.10", "ten.exe");
  share.Record("7.5.11", "eleven.exe");
  share.Record("7.5.11", "ten.exe");
  share.Put("eleven.exe", "eleven");

  // ten.exe did not reach the share: 7.5.10 is not whole, and 7.5.11 waits behind it.
  std::vector<std::string> sql;
  clinic.state.sql_trace_ = &sql;
  clinic.runner->Copy();
  clinic.state.sql_trace_ = nullptr;
  // Every recorded version is read, the order is the program's; then the files of each newer
  // version, in version order.
  const auto first = std::find(sql.begin(), sql.end(), "select distinct 버전 from 버전파일");
  const std::vector<std::string> sent(first, sql.end());
  EXPECT_EQ(sent, (std::vector<std::string>{
                      "select distinct 버전 from 버전파일",
                      "select distinct 파일 from 버전파일 where 버전 = '7.5.10' and 파일 <> '' ",
                      "select distinct 파일 from 버전파일 where 버전 = '7.5.11' and 파일 <> '' "}));
  EXPECT_EQ(clinic.LastVersion(), "7.5.9");
  EXPECT_FALSE(FileExists(clinic.Program("eleven.exe")));
  EXPECT_EQ(clinic.OfflineRows(), std::vector<std::string>{});
  EXPECT_NE(clinic.FailureLog().find("NotFound(m_sharecopy) "), std::string::npos)
      << clinic.FailureLog();
  EXPECT_NE(clinic.FailureLog().find("ten.exe="), std::string::npos) << clinic.FailureLog();

  // Once it is there, the next pass installs both, each file once, under the newest.
  share.Put("ten.exe", "ten");
  clinic.runner->Copy();
  EXPECT_EQ(clinic.LastVersion(), "7.5.11");
  EXPECT_EQ(ReadFileBytes(clinic.Program("ten.exe")), "ten");
  EXPECT_EQ(ReadFileBytes(clinic.Program("eleven.exe")), "eleven");
  EXPECT_FALSE(FileExists(clinic.Program("old.exe")));
  const std::vector<std::string> rows = clinic.OfflineRows();
  EXPECT_EQ(rows.size(), 2u);
  for (const std::string& row : rows) EXPECT_EQ(row.rfind("7.5.11|", 0), 0u) << row;

  // Nothing newer now: a further pass changes nothing.
  clinic.runner->Copy();
  EXPECT_EQ(clinic.LastVersion(), "7.5.11");
  EXPECT_EQ(clinic.OfflineRows().size(), 2u);
}

TEST(ServerPass, AFileThatCanNeitherBePlacedNorDeferredStopsAtItsVersion) {
  UpdateClinic clinic;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  Share share(clinic);
  share.Record("7.5.13", "ten.exe");
  share.Put("ten.exe", "ten");
  share.Record("7.6.0", "blocked.exe");
  share.Put("blocked.exe", "blocked");
  // The target is a folder, so no copy can replace it; the pending folder's name is taken by a
  // file, so the deferral fails too.
  fs::create_directories(FsPath(clinic.Program("blocked.exe")));
  WriteFileBytes(clinic.Program("Newupdate"), "not a folder");

  clinic.runner->Copy();
  EXPECT_EQ(ReadFileBytes(clinic.Program("ten.exe")), "ten");
  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
  // Recorded under the version it reached, not the one it could not finish.
  EXPECT_EQ(clinic.OfflineRows(), std::vector<std::string>{"7.5.13|ten.exe|Server|N"});

  // With the way cleared, the next pass installs 7.6.0.
  fs::remove(FsPath(clinic.Program("blocked.exe")));
  fs::remove(FsPath(clinic.Program("Newupdate")));
  clinic.runner->Copy();
  EXPECT_EQ(ReadFileBytes(clinic.Program("blocked.exe")), "blocked");
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(clinic.OfflineRows(), (std::vector<std::string>{"7.5.13|ten.exe|Server|N",
                                                            "7.6.0|blocked.exe|Server|N"}));

  // When the first version already cannot be finished, its rows wait for the pass that does.
  UpdateClinic second;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  Share again(second);
  again.Record("7.5.13", "ten.exe");
  again.Record("7.5.13", "blocked.exe");
  again.Put("ten.exe", "ten");
  again.Put("blocked.exe", "blocked");
  fs::create_directories(FsPath(second.Program("blocked.exe")));
  WriteFileBytes(second.Program("Newupdate"), "not a folder");
  second.runner->Copy();
  EXPECT_EQ(second.LastVersion(), "7.5.12");
  EXPECT_EQ(second.OfflineRows(), std::vector<std::string>{});
  fs::remove(FsPath(second.Program("blocked.exe")));
  fs::remove(FsPath(second.Program("Newupdate")));
  second.runner->Copy();
  EXPECT_EQ(second.LastVersion(), "7.5.13");
  EXPECT_EQ(second.OfflineRows().size(), 2u);
}

// The waiting rows are sent to the CRM by whichever pass goes online next, so none may be
// written before every file of its version is here: a pass ended after placing only some files
// must leave no row behind.
TEST(ServerPass, NoWaitingRowIsWrittenBeforeEveryFileIsPlaced) {
  UpdateClinic clinic;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  Share share(clinic);
  share.Record("7.5.13", "a_first.exe");
  share.Record("7.5.13", "z_blocked.exe");
  share.Put("a_first.exe", "first");
  share.Put("z_blocked.exe", "blocked");
  fs::create_directories(FsPath(clinic.Program("z_blocked.exe")));
  WriteFileBytes(clinic.Program("Newupdate"), "not a folder");

  std::vector<std::string> sql;
  clinic.state.sql_trace_ = &sql;
  clinic.runner->Copy();
  clinic.state.sql_trace_ = nullptr;
  EXPECT_EQ(ReadFileBytes(clinic.Program("a_first.exe")), "first");
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  for (const std::string& text : sql) {
    EXPECT_EQ(FindNoCase(text, "버전파일개별"), std::string::npos) << text;
  }

  // Once the last file can be placed, the version is recorded whole, under itself.
  fs::remove(FsPath(clinic.Program("z_blocked.exe")));
  fs::remove(FsPath(clinic.Program("Newupdate")));
  clinic.runner->Copy();
  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
  EXPECT_EQ(clinic.OfflineRows(), (std::vector<std::string>{"7.5.13|a_first.exe|Server|N",
                                                            "7.5.13|z_blocked.exe|Server|N"}));
}

// A downloader that cannot write every 버전파일 row of a version leaves none: the offline
// workstations then see nothing of it rather than a version with a file missing.
TEST(ServerPass, AVersionTheDownloaderCouldNotRecordWholeIsNotTaken) {
  UpdateClinic downloader({true});
  downloader.Publish("7.5.13",
                     {{"program", "Velmont.exe", "v13"}, {"program", "Orvel.dll", "o13"}});
  downloader.Serve();
  ExecSqlite(downloader.clinic_db, {"CREATE TRIGGER refuse BEFORE INSERT ON 버전파일 "
                                    "WHEN NEW.파일 LIKE '%Orvel.dll%' "
                                    "BEGIN SELECT RAISE(ABORT, 'the row is refused'); END"});
  downloader.runner->Down();
  EXPECT_EQ(downloader.LastVersion(), "7.5.12");
  EXPECT_EQ(downloader.VersionFileRows(), std::vector<std::string>{});

  UpdateClinic twin;
  MakeOfflineTwin(twin, downloader);
  twin.runner->Auto();
  EXPECT_EQ(twin.LastVersion(), "7.5.12");
  EXPECT_FALSE(FileExists(twin.Program("Velmont.exe")));

  EXPECT_EQ(twin.OfflineRows(), std::vector<std::string>{});
}

TEST(ServerPass, NothingNewerChangesNothingAndDangerousRowsAreRefused) {
  UpdateClinic clinic({}, "7.6.0");
  SetEnvironment("QUILLMEND_ONLINE", "0");
  ExecSqlite(clinic.clinic_db,
             {"insert into 버전파일 values ('7.5.13', '\\download\\program\\Velmont.exe', '')"});
  clinic.runner->Copy();
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));

  const std::string share = clinic.folder.Sub("share/download");
  WriteFileBytes(share + PathSeparator() + "program" + PathSeparator() + "ok.exe", "ok");
  // The share spells this one differently from the clinic database: names compare without case.
  WriteFileBytes(share + PathSeparator() + "program" + PathSeparator() + "REPORTS" +
                     PathSeparator() + "MIXED.EXE",
                 "mixed");
  WriteFileBytes(clinic.folder.Sub("secret.txt"), "secret");
  WriteProfileValue(clinic.Program("ORVEL_H.ini"), "SERVER", "PATH", share);
  ExecSqlite(clinic.clinic_db,
             {"insert into 버전파일 values ('7.7.0', '\\download\\program\\ok.exe.CAB', '')",
              "insert into 버전파일 values ('7.7.0', '\\download\\program\\Reports\\Mixed.exe', '')",
              "insert into 버전파일 values ('7.7.0', '\\download\\program\\..\\..\\..\\secret.txt', '')",
              // Harmless-looking until every \download is taken out: then it climbs three folders.
              "insert into 버전파일 values ('7.7.0', "
              "'\\program\\.\\download.\\.\\download.\\.\\download.\\secret.txt', '')",
              "insert into 버전파일 values ('7.7.0', '', '')"});
  ::testing::internal::CaptureStderr();
  clinic.runner->Copy();
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadFileBytes(clinic.Program("ok.exe")), "ok");
  EXPECT_EQ(ReadFileBytes(ResolveExistingPath(clinic.Program("reports/mixed.exe"))), "mixed");
  // Both climbing rows are refused as such, and the file they aim at is copied nowhere.
  size_t refused = 0;
  for (size_t at = said.find("refused the path"); at != std::string::npos;
       at = said.find("refused the path", at + 1)) {
    ++refused;
  }
  EXPECT_EQ(refused, 2u) << said;
  EXPECT_EQ(ReadFileBytes(clinic.folder.Sub("secret.txt")), "secret");
  for (const auto& entry : fs::recursive_directory_iterator(FsPath(clinic.folder.path()))) {
    if (entry.path().filename().string().find("secret") == std::string::npos) continue;
    EXPECT_EQ(entry.path(), FsPath(clinic.folder.Sub("secret.txt"))) << "a copy of the secret";
  }
  EXPECT_EQ(clinic.LastVersion(), "7.7.0");
}

TEST(ServerPass, AShareThatIsMissingOrNoDownloadFolderKeepsTheInstalledVersion) {
  UpdateClinic clinic;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  // Named like a download folder, so that only its absence stops the pass.
  const std::string unreachable =
      clinic.folder.Sub("no-such-share") + PathSeparator() + "download";
  WriteProfileValue(clinic.Program("ORVEL_H.ini"), "SERVER", "PATH", unreachable);
  ExecSqlite(clinic.clinic_db,
             {"insert into 버전파일 values ('7.6.0', '\\download\\program\\Velmont.exe', '')"});
  ::testing::internal::CaptureStderr();
  clinic.runner->Copy();
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("the share " + unreachable + " cannot be reached"), std::string::npos)
      << said;
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");

  // A share that is reachable but is not a download folder: no file could find its place.
  const std::string share_root = clinic.folder.Sub("share");
  WriteFileBytes(share_root + PathSeparator() + "program" + PathSeparator() + "Velmont.exe", "v");
  WriteProfileValue(clinic.Program("ORVEL_H.ini"), "SERVER", "PATH", share_root);
  ::testing::internal::CaptureStderr();
  clinic.runner->Copy();
  said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("the share \"" + share_root + "\" is not a download folder"),
            std::string::npos)
      << said;
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
}

TEST(ServerPass, ReadOnlyFilesOnTheShareArePlacedAndLaterReplaced) {
  UpdateClinic clinic;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  const std::string share = clinic.folder.Sub("share/download");
  const std::string shared_file =
      share + PathSeparator() + "program" + PathSeparator() + "Velmont.exe";
  WriteProfileValue(clinic.Program("ORVEL_H.ini"), "SERVER", "PATH", share);
  const auto publish = [&](const std::string& version, const std::string& bytes) {
    if (FileExists(shared_file)) {
      fs::permissions(FsPath(shared_file), fs::perms::owner_write, fs::perm_options::add);
    }
    WriteFileBytes(shared_file, bytes);
    fs::permissions(FsPath(shared_file),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ExecSqlite(clinic.clinic_db, {"insert into 버전파일 values ('" + version +
                                  "', '\\download\\program\\Velmont.exe', '')"});
  };
  publish("7.6.0", "v60");
  clinic.runner->Copy();
  ASSERT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "v60");
  publish("7.7.0", "v70 from a read-only share");
  clinic.runner->Copy();
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "v70 from a read-only share");
  EXPECT_EQ(clinic.LastVersion(), "7.7.0");
}

TEST(AutomaticPass, StartsTheMainScreenWhenItIsNotRunningAndOpensTheReleaseNotes) {
  // The pass asks the whole machine whether the main screen runs.
  if (TopLevelWindowExists("Velmont")) GTEST_SKIP() << "a Velmont.exe runs elsewhere already";
  UpdateClinic clinic;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  InstallSleeperAs(clinic.Program("Velmont.exe"));
  const std::string notes_log = clinic.folder.Sub("notes.log");
  WriteProfileValue(clinic.Program("quillmend.ini"), "Platform", "NotesCommand",
                     NotesRecorder(clinic, notes_log));
  WriteFileBytes(clinic.Program("updateInfo7.5.12.ini"), "notes");

  clinic.runner->Auto();

  EXPECT_EQ(ProcessesRunningFrom(clinic.Program("Velmont.exe")), 1);
  EXPECT_TRUE(WaitUntil(
      [&] { return ReadFileBytes(notes_log).find("updateInfo7.5.12.ini") != std::string::npos; },
      std::chrono::seconds(10), "the release notes to be opened"));
  EXPECT_TRUE(clinic.window.minimized || !clinic.window.visible);

  // Running now: a second automatic pass does not start another one; without notes, none open.
  // The pass looks for the main screen's window, which the sleeper lacks; only where the platform
  // takes the running process for it (no display) can the second start be ruled out.
  fs::remove(FsPath(clinic.Program("updateInfo7.5.12.ini")));
  const std::string viewer = LastingNotesViewer(clinic);
  const bool seen_running = TopLevelWindowExists("Velmont");
  clinic.runner->Auto();
  if (seen_running) {
    EXPECT_EQ(ProcessesRunningFrom(clinic.Program("Velmont.exe")), 1);
  }
  EXPECT_EQ(ProcessesRunningFrom(viewer), 0) << "release notes opened without notes";
  KillProgramsIn(clinic.state.program_folder_);
}

TEST(AutomaticPass, AnExitConfirmedDuringThePassStartsNothingAfterItAndRefusesLaterPasses) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", {{"program", "Reports.dll", "reports 7.5.13"}});
  clinic.Serve();
  InstallSleeperAs(clinic.Program("Velmont.exe"));
  const std::string viewer = LastingNotesViewer(clinic);
  WriteFileBytes(clinic.Program("updateInfo7.5.12.ini"), "notes");
  WriteFileBytes(clinic.Program("updateInfo7.5.13.ini"), "notes");
  // The user confirms exit from the tray while the pass walks the server.
  clinic.host.SetEventHook([&] {
    if (clinic.state.entries_listed_ > 0 && !clinic.window.unloaded()) clinic.window.Unload();
  });
  clinic.runner->Auto();
  clinic.host.SetEventHook(nullptr);
  ASSERT_TRUE(clinic.window.unloaded());
  EXPECT_EQ(ProcessesRunningFrom(clinic.Program("Velmont.exe")), 0);
  EXPECT_EQ(ProcessesRunningFrom(viewer), 0);

  clinic.window.Label6.caption.clear();
  clinic.runner->Auto();
  EXPECT_EQ(clinic.window.Label6.caption, "");
  KillProgramsIn(clinic.state.program_folder_);
}

TEST(AutomaticPass, AProgramThatCannotStartIsLoggedNeverFatal) {
  UpdateClinic clinic;
  SetEnvironment("QUILLMEND_ONLINE", "0");
  WriteFileBytes(clinic.Program("Velmont.exe"), "not a program");
  WriteFileBytes(clinic.Program("Ostrel.exe"), "not a program");
  WriteProfileValue(clinic.Program("Orvel_h.ini"), "백업", "Ostrel", "Y");
  ::testing::internal::CaptureStderr();
  clinic.runner->Auto();
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(clinic.state.pass_running_);
  EXPECT_EQ(clinic.window.Label6.caption.rfind("서버(", 0), 0u);
  EXPECT_NE(said.find("cannot start " + clinic.Program("Velmont.exe") + ": "), std::string::npos)
      << said;
  EXPECT_NE(said.find("cannot start " + clinic.Program("Ostrel.exe") + ": "), std::string::npos)
      << said;
}

}  // namespace
}  // namespace quillmend::testing

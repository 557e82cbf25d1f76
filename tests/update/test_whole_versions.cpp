// A version is recorded only when it is whole: bad archives, a full disk, a read-only settings
// file, a server that goes away and an exit confirmed mid-download each leave no wrong record,
// a log entry that says what failed, and a later pass that installs the version. Real FTP
// server, SQLite through ODBC, real CABs, real mounts and files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "../apply/cab_fixtures.h"
#include "platform/file_names.h"
#include "startup/profile_file.h"
#include "support/host_paths.h"
#include "update_clinic.h"

namespace quillmend::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<PublishedFile> kVersion13 = {
    {"program", "Velmont.exe", std::string(3000, 'a') + "version 7.5.13"},
    {"system", "Grid.ocx", std::string(1500, 'g') + "grid 7.5.13"}};
const std::vector<PublishedFile> kVersion60 = {
    {"program", "Velmont.exe", std::string(5000, 'b') + "version 7.6.0"},
    {"program", "Reports.dll", "reports 7.6.0"}};

bool Logged(const UpdateClinic& clinic, const std::string& key) {
  return clinic.FailureLog().find(key) != std::string::npos;
}

// Nothing of any version newer than the installed 7.5.12 is on record anywhere.
void ExpectNothingRecorded(const UpdateClinic& clinic) {
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_TRUE(clinic.VersionFileRows().empty());
  EXPECT_TRUE(clinic.CustomerVersionRows().empty());
  EXPECT_TRUE(clinic.SupportReceipts().empty());
  EXPECT_NE(clinic.ProductVersion(), "7.5.13");
  EXPECT_NE(clinic.ProductVersion(), "7.6.0");
}

void ExpectBothVersionsInstalled(const UpdateClinic& clinic) {
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(clinic.ProductVersion(), "7.6.0");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), kVersion60[0].bytes);
  EXPECT_EQ(ReadFileBytes(clinic.System("Grid.ocx")), kVersion13[1].bytes);
  EXPECT_EQ(clinic.SupportReceipts().size(), 2u);
}

// Runs a command line through the system's shell; true when it succeeded.
bool Shell(const std::string& command_line) { return std::system(command_line.c_str()) == 0; }

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// ---- Archives that do not expand ----

// Where the first CFDATA block of a one-folder CAB starts (the first CFFOLDER's coffCabStart,
// right after the 36-byte header).
size_t FirstDataBlock(const std::string& cab) {
  size_t at = 0;
  for (int i = 3; i >= 0; --i) at = (at << 8) | static_cast<unsigned char>(cab[36 + i]);
  return at;
}

enum class BadArchive { kFlippedByte, kNotACab, kEmpty, kTwoFiles };

struct BadArchiveCase {
  const char* name;
  BadArchive kind;
};

class ArchiveThatDoesNotExpand : public ::testing::TestWithParam<BadArchiveCase> {};

TEST_P(ArchiveThatDoesNotExpand, FailsItsVersionAndTheLaterOneWaitsUntilTheArchiveIsMended) {
  UpdateClinic clinic({true, true});
  clinic.Publish("7.5.13", {kVersion13[0], {"system", "Grid.ocx", ProgramLikeBytes(60000, 9)}});
  clinic.Publish("7.6.0", kVersion60);
  const std::string cab = JoinedPath(clinic.FtpRoot(), "orvel/7.5.13/system/Grid.ocx.cab");
  const std::string good = ReadFileBytes(cab);
  switch (GetParam().kind) {
    case BadArchive::kFlippedByte: {
      std::string bytes = good;
      bytes[FirstDataBlock(bytes) + 40] ^= 0x10;
      WriteFileBytes(cab, bytes);
      break;
    }
    case BadArchive::kNotACab:
      WriteFileBytes(cab, "this text was saved under an archive's name");
      break;
    case BadArchive::kEmpty:
      WriteFileBytes(cab, "");
      break;
    case BadArchive::kTwoFiles: {
      const std::string a = clinic.folder.Sub("two/Grid.ocx");
      const std::string b = clinic.folder.Sub("two/Other.ocx");
      WriteFileBytes(a, "grid");
      WriteFileBytes(b, "other");
      fs::remove(FsPath(cab));
      MakeCab(cab, {a, b});
      break;
    }
  }
  clinic.Serve();
  clinic.window.visible = true;  // a pass the user watches

  clinic.runner->Down();

  ExpectNothingRecorded(clinic);
  int told = 0;
  for (const std::string& shown : clinic.host.shown()) {
    told += shown.find("7.5.13 설치 실패") != std::string::npos &&
            shown.find("Grid.ocx.cab") != std::string::npos;
  }
  EXPECT_EQ(told, 1);
  // Not even the file of the same version that expanded well is placed.
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_FALSE(FileExists(clinic.System("Grid.ocx")));
  EXPECT_TRUE(Logged(clinic, "NotExpanded(ApplyDownloadedFiles)"));
  EXPECT_FALSE(Logged(clinic, "NotConnect(m_DwonLoad)"));
  EXPECT_NE(clinic.window.Label5.caption.find("Grid.ocx.cab"), std::string::npos);

  WriteFileBytes(cab, good);
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(ReadFileBytes(clinic.System("Grid.ocx")), ProgramLikeBytes(60000, 9));
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), kVersion60[0].bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ArchiveThatDoesNotExpand,
    ::testing::Values(BadArchiveCase{"FlippedByte", BadArchive::kFlippedByte},
                      BadArchiveCase{"NotACab", BadArchive::kNotACab},
                      BadArchiveCase{"Empty", BadArchive::kEmpty},
                      BadArchiveCase{"TwoFiles", BadArchive::kTwoFiles}),
    [](const ::testing::TestParamInfo<BadArchiveCase>& param) { return param.param.name; });

// ---- The program folder on a full file system ----

// A size-limited tmpfs mounted over a folder, with the folder's content copied in; unmounted
// at the end. Needs the right to mount (root); mounted() says whether it worked.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& folder, const std::string& size) : folder_(folder) {
    if (PathSeparator() == "\\") {
      why_ = "no mounts on this platform";
      return;
    }
    const std::string aside = folder + ".content";
    fs::copy(FsPath(folder), FsPath(aside), fs::copy_options::recursive);
    if (!Shell("mount -t tmpfs -o size=" + size + " tmpfs '" + folder + "' 2>/dev/null")) {
      why_ = "cannot mount a tmpfs here (needs root)";
      return;
    }
    mounted_ = true;
    fs::copy(FsPath(aside), FsPath(folder),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    // The program folder is the current folder (the CRM's file is found through it): enter
    // the mounted one.
    fs::current_path(FsPath(folder));
  }
  ~SmallFileSystem() {
    if (!mounted_) return;
    fs::current_path(FsPath(folder_).parent_path());
    if (!Shell("umount '" + folder_ + "'")) Shell("umount -l '" + folder_ + "'");
  }
  void Resize(const std::string& size) {
    ASSERT_TRUE(Shell("mount -o remount,size=" + size + " '" + folder_ + "'"));
  }
  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string why_;
};

struct FullDiskCase {
  const char* name;
  std::string velmont;  // the bytes of 7.5.13's Velmont.exe
  const char* key;      // what the failure log names
};

class FullProgramFolder : public ::testing::TestWithParam<FullDiskCase> {};

TEST_P(FullProgramFolder, FailsTheVersionUntilThereIsRoomAgain) {
  UpdateClinic clinic({true, true});
  SmallFileSystem disk(clinic.state.program_folder_, "2m");
  if (!disk.mounted()) GTEST_SKIP() << disk.why();
  clinic.Publish("7.5.13", {{"program", "Velmont.exe", GetParam().velmont}, kVersion13[1]});
  clinic.Publish("7.6.0", {{"program", "Reports.dll", "reports 7.6.0"}});
  clinic.Serve();

  clinic.runner->Down();

  ExpectNothingRecorded(clinic);
  EXPECT_TRUE(Logged(clinic, GetParam().key)) << clinic.FailureLog();
  EXPECT_FALSE(Logged(clinic, "NotConnect(m_DwonLoad)"));
  EXPECT_FALSE(FileExists(clinic.Program("Reports.dll")));

  disk.Resize("64m");
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.6.0");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), GetParam().velmont);
  EXPECT_EQ(ReadFileBytes(clinic.Program("Reports.dll")), "reports 7.6.0");
  EXPECT_EQ(clinic.SupportReceipts().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FullProgramFolder,
    ::testing::Values(
        // An archive larger than the room: the download's local file cannot be written.
        FullDiskCase{"WhileDownloading", RandomBytes(3 << 20, 1), "NotSaved(m_ftptree)"},
        // A small archive of a large file: the expansion runs out of room.
        FullDiskCase{"WhileExpanding", std::string(3 << 20, 'e'),
                     "NotExpanded(ApplyDownloadedFiles)"},
        // Room for the expanded file, none for its copy in the program folder or the pending
        // folder.
        FullDiskCase{"WhilePlacing", std::string(1200 << 10, 'p'), "NotPlaced(PlaceStagedFile)"}),
    [](const ::testing::TestParamInfo<FullDiskCase>& param) { return param.param.name; });

TEST(WholeVersions, AStagingFolderThatCannotBeMadeFailsTheVersionLikeABrokenTransfer) {
  UpdateClinic clinic({true, true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Publish("7.6.0", kVersion60);
  clinic.Serve();
  // A file where the staging folder belongs: no folder can be made there.
  WriteFileBytes(clinic.Program("download"), "in the way");

  clinic.runner->Down();

  ExpectNothingRecorded(clinic);
  EXPECT_TRUE(Logged(clinic, "NotSaved(m_ftptree)"));
  // Not an error of the whole pass: no message, no restart.
  EXPECT_FALSE(Logged(clinic, "NotConnect(cmddwon_click2)"));
  EXPECT_EQ(clinic.host.shown().size(), 1u);  // the question to close the product only

  fs::remove(FsPath(clinic.Program("download")));
  clinic.runner->Down();
  ExpectBothVersionsInstalled(clinic);
}

// ---- A settings file that cannot be written ----

TEST(WholeVersions, AReadOnlySettingsFileInstallsNothingAndSaysSoOnce) {
  UpdateClinic clinic({true, true, true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Publish("7.6.0", kVersion60);
  clinic.Serve();
  const fs::path settings = FsPath(clinic.Program("ORVEL_H.ini"));
  fs::permissions(settings, fs::perms::owner_read | fs::perms::group_read |
                                fs::perms::others_read);

  clinic.runner->Down();
  clinic.runner->Down();

  // Nothing is installed, so nothing can be reported under the old number, and no later pass
  // has anything to install twice.
  ExpectNothingRecorded(clinic);
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_TRUE(Logged(clinic, "NotSaved(SaveLastVersion) 7.5.13"));
  int told = 0;
  for (const std::string& shown : clinic.host.shown()) {
    told += shown.find("설정 파일에 기록할 수 없습니다") != std::string::npos;
  }
  EXPECT_EQ(told, 1);

  fs::permissions(settings, fs::perms::owner_write, fs::perm_options::add);
  clinic.runner->Down();
  ExpectBothVersionsInstalled(clinic);
  EXPECT_EQ(clinic.CustomerVersionRows().size(), 4u);  // each file reported once
}

// ---- Connections, folders and the server going away ----

TEST(WholeVersions, AServerStoppedBetweenTwoVersionsMakesTheLaterOnesWait) {
  UpdateClinic clinic({true, true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Publish("7.6.0", kVersion60);
  clinic.Publish("7.6.1", {{"program", "Reports.dll", "reports 7.6.1"}});
  clinic.Serve();
  bool stopped = false;
  clinic.host.SetEventHook([&] {
    if (!stopped && clinic.LastVersion() == "7.5.13") {
      stopped = true;
      clinic.StopServer();
    }
  });

  clinic.runner->Down();
  clinic.host.SetEventHook(nullptr);

  EXPECT_TRUE(stopped);
  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
  EXPECT_FALSE(FileExists(clinic.Program("Reports.dll")));
  EXPECT_EQ(clinic.SupportReceipts().size(), 1u);
  for (const std::string& row : clinic.VersionFileRows()) EXPECT_EQ(row.substr(0, 7), "7.5.13|");

  clinic.Serve();
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.6.1");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Reports.dll")), "reports 7.6.1");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), kVersion60[0].bytes);
}

TEST(WholeVersions, AFailedLoginMakesEveryVersionWaitAndIsLoggedAsTheConnection) {
  UpdateClinic clinic({true, true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Serve();
  ExecSqlite(clinic.crm_db, {"update 오르벨버전서버 set 패스 = 'wrong password'"});
  clinic.runner->Down();
  ExpectNothingRecorded(clinic);
  EXPECT_TRUE(Logged(clinic, "NotConnect(m_DwonLoad)="));
  EXPECT_FALSE(Logged(clinic, "NoFolder(m_DwonLoad)"));
}

// ---- The download folder stays whole for the workstations that copy from it ----

TEST(WholeVersions, ABrokenDownloadLeavesTheStagedFilesOfTheLastVersionInPlace) {
  if (!FtpServer::CanStartOwnServers()) GTEST_SKIP() << "needs a misbehaving server";
  UpdateClinic clinic({true, true});
  clinic.Publish("7.5.13", kVersion13);
  clinic.Serve();
  clinic.runner->Down();
  ASSERT_EQ(clinic.LastVersion(), "7.5.13");
  const std::string staged_cab = ReadFileBytes(clinic.Program("download/program/Velmont.exe.cab"));

  clinic.Publish("7.6.0", kVersion60);
  clinic.Serve(FtpServerKind::kPyftpdlib, {"retr-limit=40"});
  clinic.runner->Down();

  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
  EXPECT_TRUE(Logged(clinic, "NotDownloaded(m_ftptree)"));
  EXPECT_EQ(ReadFileBytes(clinic.Program("download/program/Velmont.exe.cab")), staged_cab);
  EXPECT_EQ(ReadFileBytes(clinic.Program("download/program/Velmont.exe")), kVersion13[0].bytes);
}

TEST(WholeVersions, AProgramPlacedWhereNoneExistedCanBeStarted) {
  if (PathSeparator() == "\\") GTEST_SKIP() << "no execute bits on this platform";
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", {{"program", "Velmont.exe", "#!/bin/sh\necho started\n"}});
  clinic.Serve();
  clinic.runner->Down();
  ASSERT_EQ(clinic.LastVersion(), "7.5.13");
  EXPECT_TRUE(Shell("'" + clinic.Program("Velmont.exe") + "' >/dev/null"));
}

// ---- "종료" confirmed in the middle of a download ----

TEST(WholeVersions, ExitConfirmedMidDownloadStopsThePassAndRecordsNothing) {
  UpdateClinic clinic({true, true, true});
  clinic.Publish("7.5.13", {{"program", "Velmont.exe", RandomBytes(20 << 20, 20)}, kVersion13[1]});
  clinic.Publish("7.6.0", kVersion60);
  clinic.Serve();
  bool asked = false;
  clinic.host.SetEventHook([&] {
    if (!asked && clinic.window.prgFile.value > (4 << 20)) {
      asked = true;
      clinic.window.ClickButton(WindowButton::cmd취소);
    }
  });

  clinic.runner->Down();
  clinic.host.SetEventHook(nullptr);

  ASSERT_TRUE(asked);
  EXPECT_TRUE(clinic.window.unloaded());
  EXPECT_FALSE(clinic.state.pass_running_);
  ExpectNothingRecorded(clinic);
  // The transfer stopped: no file of the version arrived, nothing was placed.
  EXPECT_FALSE(FileExists(clinic.Program("download/program/Velmont.exe.cab")));
  EXPECT_FALSE(FileExists(clinic.Program("download/system/Grid.ocx.cab")));
  EXPECT_FALSE(FileExists(clinic.Program("Velmont.exe")));
  EXPECT_TRUE(Logged(clinic, "Cancelled(m_ftptree)"));
  // No pass starts any more, from any entry.
  clinic.runner->Down();
  EXPECT_TRUE(clinic.VersionFileRows().empty());

  // The next start of the agent installs both versions.
  FrmFiles window(clinic.state, clinic.host);
  UpdatePassRunner runner(clinic.state, window);
  clinic.state.frmFiles = &window;
  window.SetPasses(&runner);
  runner.Down();
  clinic.state.frmFiles = &clinic.window;
  ExpectBothVersionsInstalled(clinic);
}

// ---- The error path's after-pass steps ----

// The lines a release-notes viewer wrote, once every viewer started has ended.
std::vector<std::string> ViewerLines(const std::string& viewer, const std::string& log) {
  for (int round = 0; round < 1000; ++round) {
    bool running = false;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
      std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
      running = running || text.find(viewer) != std::string::npos;
    }
    if (!running && FileExists(log)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::vector<std::string> lines;
  std::ifstream in(FsPath(log));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(WholeVersions, TheRestartOfAFailedPassOpensTheReleaseNotesOnlyOnce) {
  if (PathSeparator() == "\\") GTEST_SKIP() << "the viewer stand-in is a shell script";
  UpdateClinic clinic;
  const std::string viewer = clinic.folder.Sub("notes-viewer.sh");
  const std::string log = clinic.folder.Sub("notes-opened.txt");
  WriteFileBytes(viewer, "#!/bin/sh\necho \"$1\" >> '" + log + "'\n");
  fs::permissions(FsPath(viewer), fs::perms::owner_all);
  WriteProfileValue(clinic.Program("quillmend.ini"), "Platform", "NotesCommand", viewer);
  WriteFileBytes(clinic.Program("updateInfo7.5.12.ini"), "notes of 7.5.12");
  ExecSqlite(clinic.crm_db, {"drop table 오르벨버전서버"});

  clinic.runner->Auto();  // fails, restarts the automatic pass once, fails again

  EXPECT_TRUE(Logged(clinic, "NotConnect(cmddwon_click2)"));
  EXPECT_EQ(ViewerLines(viewer, log).size(), 1u);
}

}  // namespace
}  // namespace quillmend::testing

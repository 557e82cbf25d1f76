// Placement where POSIX lets the test create the hostile conditions: a process killed in the
// middle of a placement, a read-only file system, a full one, and a product program that is
// still running.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "apply/pending_update.h"
#include "apply/placement.h"
#include "cab_fixtures.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "support/temp_folder.h"
#include "workstation.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

pid_t StartPlacement(const std::string& source, const std::string& target) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl(QM_PLACE_HELPER, QM_PLACE_HELPER, source.c_str(), target.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(PlacementCrash, AKilledPlacementLeavesTheOldOrTheNewFileWhole) {
  TempFolder temp;
  const std::string old_bytes = ProgramLikeBytes(24u << 20, 11);
  const std::string new_bytes = ProgramLikeBytes(24u << 20, 12);
  const std::string source = temp.Sub("staged.exe");
  const std::string target = temp.Sub("Velmont.exe");
  WriteFileBytes(source, new_bytes);

  // One undisturbed run tells how long a placement takes here; the kills are spread over it
  // and a little past its end.
  WriteFileBytes(target, old_bytes);
  const auto start = Clock::now();
  ASSERT_EQ(Wait(StartPlacement(source, target)), 0);
  const auto whole = Clock::now() - start;
  ASSERT_EQ(ReadFileBytes(target), new_bytes);

  constexpr int kPoints = 24;
  int saw_old = 0, saw_new = 0;
  for (int point = 0; point <= kPoints; ++point) {
    WriteFileBytes(target, old_bytes);
    const pid_t pid = StartPlacement(source, target);
    std::this_thread::sleep_for(whole * point * 3 / (2 * kPoints));
    kill(pid, SIGKILL);
    Wait(pid);
    const std::string now = ReadFileBytes(target);
    if (now == old_bytes) {
      ++saw_old;
    } else {
      ASSERT_EQ(now.size(), new_bytes.size()) << "a mixed file after a kill at point " << point;
      ASSERT_TRUE(now == new_bytes) << "a mixed file after a kill at point " << point;
      ++saw_new;
    }
  }
  std::printf("kills that left the old file: %d, the new file: %d\n", saw_old, saw_new);

  // A later placement is not hindered by what a killed one left behind.
  WriteFileBytes(target, old_bytes);
  ASSERT_EQ(Wait(StartPlacement(source, target)), 0);
  EXPECT_EQ(ReadFileBytes(target), new_bytes);
  EXPECT_FALSE(FileExists(PlacementTempPath(target)));
}

class MountedSystemFolder : public ::testing::Test {
 protected:
  bool Mount(const std::string& options) {
    mount_point_ = ws_.state.g_SystemFolder;
    return RunShell("mount -t tmpfs -o " + options + " tmpfs '" + mount_point_ + "' 2>/dev/null") ==
           0;
  }
  void TearDown() override {
    if (!mount_point_.empty()) RunShell("umount '" + mount_point_ + "' 2>/dev/null");
  }
  Workstation ws_;
  std::string mount_point_;
};

TEST_F(MountedSystemFolder, AReadOnlySystemFolderDefersTheFile) {
  if (!Mount("size=4m")) GTEST_SKIP() << "cannot mount a tmpfs here";
  Workstation::Write(ws_.System("Grid.ocx"), "installed");
  ASSERT_EQ(RunShell("mount -o remount,ro '" + mount_point_ + "'"), 0);
  const std::string staged = ws_.Stage("system/Grid.ocx", "new grid");
  EXPECT_FALSE(PlaceStagedFile(ws_.state, "7.5.13", staged));
  EXPECT_EQ(ReadFileBytes(ws_.System("Grid.ocx")), "installed");
  EXPECT_EQ(ReadFileBytes(ws_.Program("NewUpdate/system/Grid.ocx")), "new grid");
  EXPECT_TRUE(ws_.state.g_AllPlaced);
}

TEST_F(MountedSystemFolder, AFullDiskKeepsTheOldFileAndLeavesNoTemporaryFile) {
  if (!Mount("size=1m")) GTEST_SKIP() << "cannot mount a tmpfs here";
  Workstation::Write(ws_.System("Big.dll"), "installed");
  const std::string staged = ws_.Stage("system/Big.dll", ProgramLikeBytes(3u << 20, 4));
  EXPECT_FALSE(PlaceStagedFile(ws_.state, "7.5.13", staged));
  EXPECT_EQ(ReadFileBytes(ws_.System("Big.dll")), "installed");
  EXPECT_FALSE(FileExists(PlacementTempPath(ws_.System("Big.dll"))));
  EXPECT_TRUE(FileExists(ws_.Program("NewUpdate/system/Big.dll")));
}

TEST(PendingUpdateRunning, AProgramStillRunningKeepsItsFilePending) {
  Workstation ws({true});
  setenv("DISPLAY", "", 1);  // the process list stands in for the window list
  Workstation::Write(ws.Program("Velmont.exe"), "installed");
  Workstation::ShiftTime(ws.Program("Velmont.exe"), std::chrono::hours(-2));
  Workstation::Write(ws.Program("newupdate/program/Velmont.exe"), "pending");
  Workstation::Write(ws.Program("newupdate/program/Drustan.exe"), "drustan");
  // A running "Velmont.exe" for the whole test.
  const pid_t velmont = fork();
  if (velmont == 0) {
    execl("/bin/sleep", "Velmont.exe", "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 100 && ReadFileBytes("/proc/" + std::to_string(velmont) + "/cmdline")
                                     .rfind("Velmont.exe", 0) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  CheckPendingUpdate(ws.state);
  kill(velmont, SIGKILL);
  Wait(velmont);

  EXPECT_EQ(ws.host.shown().back(),
            "Quillmend: Velmont프로그램이 실행중입니다. 프로그램을 종료시켜주세요");
  EXPECT_EQ(ReadFileBytes(ws.Program("Velmont.exe")), "installed");
  EXPECT_EQ(ReadFileBytes(ws.Program("newupdate/program/Velmont.exe")), "pending");
  EXPECT_EQ(ReadFileBytes(ws.Program("Drustan.exe")), "drustan");
  EXPECT_FALSE(FileExists(ws.Program("newupdate/program/Drustan.exe")));
  EXPECT_FALSE(ws.state.g_PendingApply);
  EXPECT_EQ(ws.OfflineRecords(), (std::vector<std::string>{"1.0|Drustan.exe||Server_NewUpdate"}));
}


TEST(PlacementPermissions, AReplacedProgramKeepsItsModeAndANewFileTakesTheSources) {
  TempFolder folder;
  const std::string staged = folder.Sub("download/program/Velmont.exe");
  const std::string target = folder.Sub("Orvel/Velmont.exe");
  WriteFileBytes(staged, "new program");
  WriteFileBytes(target, "old program");
  fs::permissions(FsPath(staged), fs::perms::owner_read | fs::perms::owner_write);
  const fs::perms program = fs::perms::owner_all | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec;
  fs::permissions(FsPath(target), program);

  ReplaceFileAtomically(staged, target);
  EXPECT_EQ(ReadFileBytes(target), "new program");
  EXPECT_EQ(fs::status(FsPath(target)).permissions(), program);

  const std::string fresh = folder.Sub("Orvel/Reports.dll");
  ReplaceFileAtomically(staged, fresh);
  // A new file can be started where it can be read: archives carry no execute bit, and a
  // program placed on a new workstation must run.
  EXPECT_EQ(fs::status(FsPath(fresh)).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec);
}

}  // namespace
}  // namespace quillmend

// What only POSIX systems show: processes of another user, replaced executables, and a machine
// with thousands of processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/processes.h"
#include "process/process_fixture.h"
#include "process/process_list.h"
#include "process/product_programs.h"
#include "support/wait_until.h"

namespace quillmend {
namespace {

using testing::ChildProcess;
using testing::FindEntry;
using testing::StartSleeperAs;
using testing::TempFolder;
using testing::WindowUnderTest;

constexpr uid_t kNobody = 65534;

// Runs body in a child process that has given up root for "nobody"; returns the child's exit
// code (the body's result), or -1 when it could not run.
template <typename Body>
int RunAsNobody(Body body) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A product program of another user: listed (by the command line it was started with, since its
// executable link cannot be read), marked, refused termination; the user's own instance still
// ends and the other user's keeps running.
TEST(ProcessOfAnotherUser, IsListedButCannotBeEndedWhileOwnOnesAre) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a second user";
  TempFolder folder;
  std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
  auto root_program = StartSleeperAs(folder, "Orvel/Velmont.exe");
  const std::uint32_t root_id = root_program->id();
  const std::string root_path = folder.Sub("Orvel/Velmont.exe");
  std::filesystem::permissions(folder.Sub("Orvel"), std::filesystem::perms::all);

  const int result = RunAsNobody([&]() -> int {
    ChildProcess own_program(folder.Sub("Orvel/Velmont.exe"));
    WindowUnderTest ui({true});
    ui.state.g_ContinueUpdate = true;
    ListProcesses(ui.state);
    testing::KeepOnlyEntriesIn(ui.list(), folder.path());
    const ListViewItem* foreign = FindEntry(ui.list(), root_id);
    if (foreign == nullptr) return 1;
    if (foreign->text != root_path) return 2;
    if (ReadProcessExecutablePath(root_id) != root_path) return 3;
    if (TerminateWithDebugPrivilege(static_cast<std::int32_t>(root_id), 0)) return 4;
    CloseProductPrograms(ui.state);
    if (ui.host.shown().size() != 1) return 5;
    if (!FindEntry(ui.list(), root_id)->checked) return 6;
    if (!own_program.WaitForEnd(15000)) return 7;
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(root_program->Running());
}

// The kernel marks the executable link of a program whose file was replaced with " (deleted)";
// an update replaces exactly these files, so the program must still be recognised.
TEST(ReplacedExecutable, IsListedUnderItsPathAndStillFound) {
  TempFolder folder;
  auto program = StartSleeperAs(folder, "Carrowby.exe");
  std::filesystem::remove(folder.Sub("Carrowby.exe"));
  WindowUnderTest ui({true});
  ListProcesses(ui.state);
  const ListViewItem* entry = FindEntry(ui.list(), program->id());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text, folder.Sub("Carrowby.exe"));
  EXPECT_TRUE(IsProductProgramPath(entry->text));
}

// A Windows product program run under Wine: the kernel shows Wine's loader as the executable,
// and the loader leaves the program's own path as the first word of its command line.
TEST(ProgramUnderWine, IsListedUnderItsOwnPathAndFound) {
  TempFolder folder;
  const std::string loader = folder.Sub("wine64");
  testing::InstallSleeperAs(loader);
  const std::string program = folder.Sub("Orvel/Velmont.exe");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(loader.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  WindowUnderTest ui({});
  const ListViewItem* entry = nullptr;
  // Until the child has executed the loader.
  testing::WaitUntil(
      [&] {
        ListProcesses(ui.state);
        entry = FindEntry(ui.list(), static_cast<std::uint32_t>(pid));
        return entry != nullptr && entry->text == program;
      },
      std::chrono::seconds(10), "the loader's child to be listed under the program's path");
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text, program);
  EXPECT_TRUE(IsProductProgramPath(entry->text));
}

// A path longer than the first buffer (and than the 260 characters Windows programs start from)
// is listed whole, not cut: a cut path would hide the program from the search for the product's
// programs. (Windows itself starts no program from such a path without long-path support.)
TEST(LongExecutablePath, IsListedWhole) {
  TempFolder folder;
  WindowUnderTest ui({});
  const std::string deep = std::string(100, 'a') + "/" + std::string(100, 'b') + "/" +
                           std::string(100, 'c') + "/Velmont.exe";
  auto child = StartSleeperAs(folder, deep);
  ListProcesses(ui.state);
  const ListViewItem* entry = FindEntry(ui.list(), child->id());
  ASSERT_NE(entry, nullptr);
  EXPECT_GT(entry->text.size(), 300u);
  EXPECT_EQ(entry->text, folder.Sub(deep));
}

// Thousands of processes: every one listed once, with its path.
TEST(ManyProcesses, AreAllListed) {
  constexpr int kCount = 3000;
  std::vector<pid_t> children;
  children.reserve(kCount);
  for (int i = 0; i < kCount; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      pause();
      _exit(0);
    }
    if (pid < 0) break;
    children.push_back(pid);
  }
  ASSERT_EQ(children.size(), static_cast<size_t>(kCount));
  const std::string own_path = std::filesystem::read_symlink("/proc/self/exe").string();

  WindowUnderTest ui({});
  ListProcesses(ui.state);
  EXPECT_GE(ui.list().items.size(), static_cast<size_t>(kCount));
  int found = 0;
  for (const pid_t pid : children) {
    const ListViewItem* entry = FindEntry(ui.list(), static_cast<std::uint32_t>(pid));
    if (entry != nullptr && entry->text == own_path) ++found;
  }
  EXPECT_EQ(found, kCount);

  for (const pid_t pid : children) kill(pid, SIGKILL);
  for (const pid_t pid : children) waitpid(pid, nullptr, 0);
}

}  // namespace
}  // namespace quillmend

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/file_names.h"
#include "platform/system_info.h"
#include "process/child_processes.h"

extern char** environ;

namespace quillmend::testing {

std::string SleeperProgramPath() { return ExecutableFolder() + "/process_sleeper"; }

void InstallSleeperAs(const std::string& path) {
  const std::filesystem::path target = FsPath(path);
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(FsPath(SleeperProgramPath()), target,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(target, std::filesystem::perms::owner_all |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec |
                                           std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
}

ChildProcess::ChildProcess(const std::string& program, int seconds) {
  std::string seconds_text = std::to_string(seconds);
  std::string program_text = program;
  char* argv[] = {program_text.data(), seconds_text.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  if (error != 0) throw std::runtime_error("cannot start " + program);
  id_ = static_cast<std::uint32_t>(pid);
}

ChildProcess::~ChildProcess() {
  if (!ended_) KillAndReap();
}

bool ChildProcess::Running() {
  if (ended_) return false;
  int status = 0;
  const pid_t pid = waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
  if (pid == 0) return true;
  ended_ = true;
  if (pid > 0) exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

bool ChildProcess::WaitForEnd(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void ChildProcess::KillAndReap() {
  if (ended_) return;
  kill(static_cast<pid_t>(id_), SIGKILL);
  int status = 0;
  if (waitpid(static_cast<pid_t>(id_), &status, 0) > 0) {
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ended_ = true;
}

}  // namespace quillmend::testing

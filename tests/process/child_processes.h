// Real child processes for the process-control tests: copies of the sleeper program started
// under chosen names. Children still running when their object goes are killed and reaped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quillmend::testing {

// The sleeper program built beside the test executable.
std::string SleeperProgramPath();

// Copies the sleeper to path (creating folders; UTF-8 path) and makes it executable.
void InstallSleeperAs(const std::string& path);

class ChildProcess {
 public:
  // Starts program (a full path) with one argument, the seconds to live. Throws on failure.
  explicit ChildProcess(const std::string& program, int seconds = 120);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  std::uint32_t id() const { return id_; }
  // True while the process has not ended (never waits).
  bool Running();
  // Waits up to the given time for the end; true when it ended. After that, exit_code() is the
  // exit code (POSIX: 128 + signal for a process ended by a signal).
  bool WaitForEnd(int milliseconds);
  int exit_code() const { return exit_code_; }
  // Ends the process now (used to make a listed process disappear) and reaps it.
  void KillAndReap();

 private:
  std::uint32_t id_ = 0;
  std::uintptr_t handle_ = 0;  // Windows: the process handle
  bool ended_ = false;
  int exit_code_ = -1;
};

}  // namespace quillmend::testing

// Child processes for the sandbox tool, the demo and the benchmarks: run a program and wait, or
// keep one running (a server, an agent) and stop it for sure when its owner goes away.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace quillmend::sandbox {

struct ChildOptions {
  // "NAME=value" entries added to (or replacing those of) this process's environment.
  std::vector<std::string> environment;
  // Files that receive standard output / error ("" keeps this process's).
  std::string stdout_file;
  std::string stderr_file;
  // Standard output as a pipe this process reads (ChildProcess::ReadLine); wins over
  // stdout_file.
  bool pipe_stdout = false;
  // Standard input as a pipe this process holds open until CloseInput, Stop or its own end
  // (a child that serves until its input closes then never outlives this process).
  bool pipe_stdin = false;
};

class ChildProcess {
 public:
  // Starts argv[0] (looked up on PATH when it has no "/"). Throws std::runtime_error when the
  // program cannot be started.
  ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {});
  // Stops the child (input closed, SIGTERM, then SIGKILL after two seconds) unless it has
  // ended.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // One line of the piped standard output, without its line end; throws when the child closes
  // its output or says nothing for timeout_seconds.
  std::string ReadLine(int timeout_seconds);
  // Waits for the end; returns the exit status (128 + signal for a killed child).
  int Wait();
  // True while the child has not ended.
  bool Running();
  // Closes the piped standard input (the child sees its end).
  void CloseInput();
  // Writes text to the piped standard input; throws std::runtime_error when it is not piped or
  // the child no longer reads it.
  void WriteInput(const std::string& text);
  // Closes the input, sends SIGTERM, then SIGKILL after grace_seconds; returns the status.
  int Stop(int grace_seconds = 2);

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int in_fd_ = -1;
  std::string pending_;
  bool ended_ = false;
  int status_ = 0;
};

// Runs argv to its end; returns the exit status (128 + signal when killed). Throws when it
// cannot be started.
int RunProgram(const std::vector<std::string>& argv, const ChildOptions& options = {});

// Ends (SIGKILL) every process whose executable lies below folder, such as the product programs
// an agent started from a sandbox; returns how many.
int StopProgramsRunningFrom(const std::string& folder);

// Runs the body of a tool's main: an exception is printed and gives exit status 1 after the
// stack has unwound, so the servers and agents the body started are stopped on the way out.
template <typename Body>
int MainGuarded(Body body) {
  try {
    return body();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

}  // namespace quillmend::sandbox

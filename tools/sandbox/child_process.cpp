#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quillmend::sandbox {
namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::map<std::string, std::string> entries;
  auto add = [&](const std::string& entry) {
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) entries[entry.substr(0, eq)] = entry;
  };
  for (char** e = environ; *e != nullptr; ++e) add(*e);
  for (const std::string& entry : extra) add(entry);
  std::vector<std::string> merged;
  for (auto& [name, entry] : entries) merged.push_back(entry);
  return merged;
}

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options) {
  if (argv.empty()) throw std::runtime_error("no program to start");
  int pipe_fds[2] = {-1, -1};
  int input_fds[2] = {-1, -1};
  if ((options.pipe_stdout && pipe2(pipe_fds, O_CLOEXEC) != 0) ||
      (options.pipe_stdin && pipe2(input_fds, O_CLOEXEC) != 0)) {
    const std::string reason = strerror(errno);
    for (int fd : {pipe_fds[0], pipe_fds[1]}) {
      if (fd >= 0) close(fd);
    }
    throw std::runtime_error("pipe: " + reason);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.pipe_stdin) posix_spawn_file_actions_adddup2(&actions, input_fds[0], STDIN_FILENO);
  if (options.pipe_stdout) {
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  } else if (!options.stdout_file.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdout_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!options.stderr_file.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.stderr_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  std::vector<std::string> env_text = MergedEnvironment(options.environment);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  const int rc = posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (pipe_fds[1] >= 0) close(pipe_fds[1]);
  if (input_fds[0] >= 0) close(input_fds[0]);
  if (rc != 0) {
    if (pipe_fds[0] >= 0) close(pipe_fds[0]);
    if (input_fds[1] >= 0) close(input_fds[1]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0] + ": " + strerror(rc));
  }
  out_fd_ = pipe_fds[0];
  in_fd_ = input_fds[1];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !ended_) Stop();
  CloseInput();
  if (out_fd_ >= 0) close(out_fd_);
}

void ChildProcess::CloseInput() {
  if (in_fd_ >= 0) close(in_fd_);
  in_fd_ = -1;
}

void ChildProcess::WriteInput(const std::string& text) {
  if (in_fd_ < 0) throw std::runtime_error("the child's input is not piped");
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(in_fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("the child no longer reads its input");
    done += static_cast<size_t>(n);
  }
}

std::string ChildProcess::ReadLine(int timeout_seconds) {
  if (out_fd_ < 0) throw std::runtime_error("the child's output is not piped");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw std::runtime_error("the child said nothing in time");
    pollfd fd{out_fd_, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(out_fd_, buffer, sizeof buffer);
    if (got <= 0) throw std::runtime_error("the child closed its output");
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

int ChildProcess::Wait() {
  if (ended_) return status_;
  int raw = 0;
  while (waitpid(pid_, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  ended_ = true;
  status_ = StatusOf(raw);
  return status_;
}

bool ChildProcess::Running() {
  if (ended_) return false;
  int raw = 0;
  if (waitpid(pid_, &raw, WNOHANG) == pid_) {
    ended_ = true;
    status_ = StatusOf(raw);
  }
  return !ended_;
}

int ChildProcess::Stop(int grace_seconds) {
  CloseInput();
  if (!Running()) return status_;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(grace_seconds);
  while (Running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (Running()) kill(pid_, SIGKILL);
  return Wait();
}

int StopProgramsRunningFrom(const std::string& folder) {
  std::error_code ec;
  const std::string prefix = std::filesystem::weakly_canonical(folder, ec).string() + "/";
  int stopped = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code link_ec;
    const std::string exe = std::filesystem::read_symlink(entry.path() / "exe", link_ec).string();
    if (link_ec || exe.rfind(prefix, 0) != 0) continue;
    if (kill(static_cast<pid_t>(std::stol(name)), SIGKILL) == 0) ++stopped;
  }
  return stopped;
}

int RunProgram(const std::vector<std::string>& argv, const ChildOptions& options) {
  ChildProcess child(argv, options);
  return child.Wait();
}

}  // namespace quillmend::sandbox

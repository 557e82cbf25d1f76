// The FTP server launcher as a POSIX child process with pipes on its input and output.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/ftp_server_process.h"
#include "support/ftp_servers.h"

extern char** environ;

namespace quillmend::testing {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

class PosixLauncher : public LauncherProcess {
 public:
  PosixLauncher(pid_t pid, int in, int out) : pid_(pid), in_(in), out_(out) {}
  ~PosixLauncher() override {
    ::close(in_);  // the launcher ends its server and itself
    int status = 0;
    for (int i = 0; i < 250 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    ::close(out_);
  }
  bool WriteLine(const std::string& line) override {
    const std::string text = line + "\n";
    return ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  bool ReadLine(int seconds, std::string& line) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (pending_.find('\n') == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, 200) != 1) continue;
      char chunk[256];
      const ssize_t n = ::read(out_, chunk, sizeof chunk);
      if (n <= 0) return false;
      pending_.append(chunk, static_cast<std::size_t>(n));
    }
    const std::size_t end = pending_.find('\n');
    line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return true;
  }

 private:
  pid_t pid_;
  int in_;
  int out_;
  std::string pending_;
};

}  // namespace

std::string LauncherPath(const std::string& local_path) { return local_path; }

bool ClientCanUse(FtpServerKind) { return true; }

ClosedPort::ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port_ = ntohs(address.sin_port);
  }
  socket_ = fd;
}

ClosedPort::~ClosedPort() {
  if (socket_ >= 0) ::close(static_cast<int>(socket_));
}

std::unique_ptr<LauncherProcess> StartLauncher(const std::vector<std::string>& args,
                                               std::string& error) {
  int in_pipe[2], out_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) return nullptr;
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    ::close(in_pipe[0]);
    ::close(in_pipe[1]);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  const std::string script = std::string(QUILLMEND_TEST_SUPPORT_DIR) + "/serve_ftp.py";
  std::vector<char*> argv = {const_cast<char*>(kPython), const_cast<char*>(script.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  if (rc != 0) {
    ::close(in_pipe[1]);
    ::close(out_pipe[0]);
    error = std::string("cannot start ") + kPython;
    return nullptr;
  }
  // A launcher that died must not kill the test with SIGPIPE on the next write.
  ::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<PosixLauncher>(pid, in_pipe[1], out_pipe[0]);
}

}  // namespace quillmend::testing

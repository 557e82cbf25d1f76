// Local FTP servers on POSIX: child processes in their own process group, stopped with it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/ftp_servers.h"

extern char** environ;

namespace quillmend::testing {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
std::string g_last_start_error;

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

// True once something accepts connections on 127.0.0.1:port and greets (within seconds).
bool WaitUntilGreeting(int port, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      pollfd p{fd, POLLIN, 0};
      char greeting[256];
      const bool greeted = ::poll(&p, 1, 2000) == 1 && ::recv(fd, greeting, sizeof greeting, 0) > 0;
      ::close(fd);
      if (greeted) return true;
    } else {
      ::close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void MakeShared(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // The root itself stays unwritable for others: vsftpd refuses a writable chroot folder.
  fs::permissions(root,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  ec);
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(),
                    it->is_directory() ? fs::perms::all
                                       : fs::perms::owner_read | fs::perms::owner_write |
                                             fs::perms::group_read | fs::perms::group_write |
                                             fs::perms::others_read | fs::perms::others_write,
                    ec);
  }
}

}  // namespace

struct FtpServer::Process {
  pid_t pid = -1;
  int stdin_fd = -1;
  ~Process() {
    if (stdin_fd >= 0) ::close(stdin_fd);
    if (pid > 0) {
      ::kill(-pid, SIGTERM);
      ::kill(pid, SIGTERM);
      int status = 0;
      for (int i = 0; i < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
      }
    }
  }
};

namespace {

// Starts argv in its own process group with a pipe on stdin (and on stdout when wanted).
bool Spawn(const std::vector<std::string>& args, int* stdout_fd, pid_t& pid, int& stdin_fd) {
  int in_pipe[2], out_pipe[2] = {-1, -1};
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) return false;
  if (stdout_fd != nullptr && ::pipe2(out_pipe, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  if (stdout_fd != nullptr) posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(in_pipe[0]);
  if (stdout_fd != nullptr) ::close(out_pipe[1]);
  if (rc != 0) {
    ::close(in_pipe[1]);
    if (stdout_fd != nullptr) ::close(out_pipe[0]);
    return false;
  }
  stdin_fd = in_pipe[1];
  if (stdout_fd != nullptr) *stdout_fd = out_pipe[0];
  return true;
}

std::string ReadFirstLine(int fd, int seconds) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 200) != 1) continue;
    char chunk[128];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    line.append(chunk, static_cast<std::size_t>(n));
  }
  return line;
}

}  // namespace

struct FtpServerStarter {
  static std::unique_ptr<FtpServer> Make() { return std::unique_ptr<FtpServer>(new FtpServer()); }
};

std::string FtpServer::LastStartError() { return g_last_start_error; }

bool FtpServer::CanStartOwnServers() { return CanStart(FtpServerKind::kPyftpdlib); }

bool FtpServer::CanStart(FtpServerKind kind) {
  if (kind == FtpServerKind::kVsftpd) return ::geteuid() == 0 && ::access(kVsftpd, X_OK) == 0;
  return ::access(kPython, X_OK) == 0 &&
         std::system("/usr/bin/python3 -c 'import pyftpdlib' >/dev/null 2>&1") == 0;
}

void FtpServer::Share() const {
  if (kind_ == FtpServerKind::kVsftpd) MakeShared(root_);
}

FtpServer::~FtpServer() {
  process_.reset();
  if (!work_folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(work_folder_, ec);
  }
}

std::unique_ptr<FtpServer> FtpServer::Start(FtpServerKind kind, const FtpServerOptions& options) {
  g_last_start_error.clear();
  std::unique_ptr<FtpServer> server = FtpServerStarter::Make();
  server->kind_ = kind;
  server->root_ = options.root;
  server->process_ = std::make_unique<Process>();
  const std::string source_dir = QUILLMEND_TEST_SUPPORT_DIR;
  if (kind == FtpServerKind::kPyftpdlib) {
    server->user_ = "quill";
    server->password_ = "mend-pw";
    std::vector<std::string> args = {kPython, source_dir + "/serve_ftp.py", options.root,
                                      "--user", server->user_, "--password", server->password_};
    std::vector<std::string> rules = options.misbehave;
    if (!options.passive) rules.push_back("refuse-pasv");
    for (const std::string& rule : rules) args.push_back("--misbehave=" + rule);
    int out = -1;
    if (!Spawn(args, &out, server->process_->pid, server->process_->stdin_fd)) {
      g_last_start_error = "cannot start " + std::string(kPython);
      return nullptr;
    }
    const std::string line = ReadFirstLine(out, 20);
    ::close(out);
    if (line.rfind("PORT ", 0) != 0) {
      g_last_start_error = "pyftpdlib did not report its port: " + line;
      return nullptr;
    }
    server->port_ = std::atoi(line.c_str() + 5);
    return server;
  }
  // vsftpd: anonymous access to the root, from a config file of our own.
  server->user_ = "anonymous";
  server->password_ = "quill@";
  char folder_template[] = "/tmp/quillmend-vsftpd.XXXXXX";
  if (::mkdtemp(folder_template) == nullptr) {
    g_last_start_error = "cannot create the vsftpd work folder";
    return nullptr;
  }
  server->work_folder_ = folder_template;
  const std::string empty = server->work_folder_ + "/empty";
  ::mkdir(empty.c_str(), 0755);
  MakeShared(options.root);
  server->port_ = FreeLoopbackPort();
  const std::string config = server->work_folder_ + "/vsftpd.conf";
  {
    std::ofstream out(config);
    out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
        << "listen_port=" << server->port_ << "\n"
        << "background=NO\nseccomp_sandbox=NO\nrun_as_launching_user=NO\n"
        << "pasv_enable=" << (options.passive ? "YES" : "NO") << "\n"
        << "pasv_address=127.0.0.1\nport_enable=YES\nconnect_from_port_20=NO\n"
        << "anonymous_enable=YES\nno_anon_password=YES\nanon_root=" << options.root << "\n"
        << "ftp_username=ftp\nlocal_enable=NO\nwrite_enable=YES\n"
        << "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
        << "anon_world_readable_only=NO\nanon_umask=000\nallow_writeable_chroot=YES\n"
        << "secure_chroot_dir=" << empty << "\n"
        << "utf8_filesystem=YES\nuse_localtime=NO\nxferlog_enable=NO\n"
        << "idle_session_timeout=600\ndata_connection_timeout=120\n";
  }
  if (!Spawn({kVsftpd, config}, nullptr, server->process_->pid, server->process_->stdin_fd)) {
    g_last_start_error = "cannot start vsftpd";
    return nullptr;
  }
  if (!WaitUntilGreeting(server->port_, 10)) {
    g_last_start_error = "vsftpd did not greet on port " + server->port_text();
    return nullptr;
  }
  return server;
}

}  // namespace quillmend::testing

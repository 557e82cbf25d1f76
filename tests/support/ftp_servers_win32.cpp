// The FTP server launcher under Wine: the host's /usr/bin/python3 started from the Windows
// process (Wine runs Unix programs through CreateProcess). Such a program does not receive the
// Windows process's pipes, so the launcher connects back to a loopback socket instead.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>

#include "platform/win32/wide.h"
#include "support/ftp_server_process.h"
#include "support/ftp_servers.h"
#include "support/host_paths.h"

namespace quillmend::testing {
namespace {

// Appends one argument, quoted by the command-line rules.
void AppendQuoted(std::string& command, const std::string& arg) {
  if (!command.empty()) command.push_back(' ');
  command.push_back('"');
  for (char c : arg) {
    if (c == '"') command.push_back('\\');
    command.push_back(c);
  }
  command.push_back('"');
}

bool Readable(SOCKET s, int milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &wait) == 1;
}

class WineLauncher : public LauncherProcess {
 public:
  explicit WineLauncher(SOCKET control) : control_(control) {}
  ~WineLauncher() override {
    // The launcher ends its server and itself when the connection closes; wait for that.
    shutdown(control_, SD_SEND);
    char chunk[256];
    for (int i = 0; i < 100 && Readable(control_, 100);) {
      if (recv(control_, chunk, sizeof chunk, 0) <= 0) break;
    }
    closesocket(control_);
  }
  bool WriteLine(const std::string& line) override {
    const std::string text = line + "\n";
    return send(control_, text.data(), static_cast<int>(text.size()), 0) ==
           static_cast<int>(text.size());
  }
  bool ReadLine(int seconds, std::string& line) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (pending_.find('\n') == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      if (!Readable(control_, 200)) continue;
      char chunk[256];
      const int n = recv(control_, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      pending_.append(chunk, static_cast<std::size_t>(n));
    }
    const std::size_t end = pending_.find('\n');
    line = pending_.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pending_.erase(0, end + 1);
    return true;
  }

 private:
  SOCKET control_;
  std::string pending_;
};

}  // namespace

std::string LauncherPath(const std::string& local_path) { return HostPathOf(local_path); }

// Wine's WinINet, which these tests run on, cannot log in to proftpd (12015 after PASS) or
// pure-ftpd (it never reads the reply to PASS); both serve our own backend's tests.
bool ClientCanUse(FtpServerKind kind) {
  return kind != FtpServerKind::kProftpd && kind != FtpServerKind::kPureFtpd;
}

ClosedPort::ClosedPort() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port_ = ntohs(address.sin_port);
  }
  socket_ = static_cast<std::intptr_t>(s);
}

ClosedPort::~ClosedPort() {
  if (static_cast<SOCKET>(socket_) != INVALID_SOCKET) closesocket(static_cast<SOCKET>(socket_));
  WSACleanup();
}

namespace {

// One attempt: a listener, the launcher started with its port, and its connection back.
// `retry` is set when the listener itself stopped being a socket meanwhile (seen under Wine
// while a host program starts; the next attempt gets a new listener and a new launcher).
std::unique_ptr<LauncherProcess> TryStartLauncher(const std::vector<std::string>& args,
                                                  std::string& error, bool& retry) {
  retry = false;
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = "cannot listen for the launcher";
    if (listener != INVALID_SOCKET) closesocket(listener);
    return nullptr;
  }
  std::string command;
  AppendQuoted(command, "Z:\\usr\\bin\\python3");
  AppendQuoted(command, std::string(QUILLMEND_TEST_SUPPORT_DIR) + "/serve_ftp.py");
  for (const std::string& a : args) AppendQuoted(command, a);
  AppendQuoted(command, "--control-port=" + std::to_string(ntohs(address.sin_port)));
  std::wstring wide = Wide(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    error = "cannot start the host's python3 (error " + std::to_string(GetLastError()) + ")";
    closesocket(listener);
    return nullptr;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  SOCKET control = INVALID_SOCKET;
  if (Readable(listener, 30000)) control = accept(listener, nullptr, nullptr);
  const int wsa_error = WSAGetLastError();
  closesocket(listener);
  if (control == INVALID_SOCKET) {
    error = "the launcher did not connect back (" + std::to_string(wsa_error) + ")";
    retry = wsa_error == WSAENOTSOCK;
    return nullptr;
  }
  return std::make_unique<WineLauncher>(control);
}

}  // namespace

std::unique_ptr<LauncherProcess> StartLauncher(const std::vector<std::string>& args,
                                               std::string& error) {
  bool retry = true;
  for (int attempt = 0; attempt < 3 && retry; ++attempt) {
    if (auto launcher = TryStartLauncher(args, error, retry)) return launcher;
  }
  return nullptr;
}

}  // namespace quillmend::testing

// The FTP server launcher under Wine: the host's /usr/bin/python3 started from the Windows
// process (Wine runs Unix programs through CreateProcess), with pipes on its input and output.
#include <windows.h>

#include <chrono>

#include "platform/win32/wide.h"
#include "support/ftp_server_process.h"
#include "support/host_paths.h"

namespace quillmend::testing {
namespace {

std::string Quoted(const std::string& arg) {
  std::string out = "\"";
  for (char c : arg) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

class WineLauncher : public LauncherProcess {
 public:
  WineLauncher(HANDLE in, HANDLE out) : in_(in), out_(out) {}
  ~WineLauncher() override {
    CloseHandle(in_);  // the launcher ends its server and itself, then its output closes
    ReadUntilEnd(10);
    CloseHandle(out_);
  }
  bool WriteLine(const std::string& line) override {
    const std::string text = line + "\n";
    DWORD written = 0;
    return WriteFile(in_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }
  bool ReadLine(int seconds, std::string& line) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (pending_.find('\n') == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      DWORD available = 0;
      if (!PeekNamedPipe(out_, nullptr, 0, nullptr, &available, nullptr)) return false;
      if (available == 0) {
        Sleep(20);
        continue;
      }
      char chunk[256];
      DWORD n = 0;
      if (!ReadFile(out_, chunk, sizeof chunk, &n, nullptr) || n == 0) return false;
      pending_.append(chunk, n);
    }
    const std::size_t end = pending_.find('\n');
    line = pending_.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pending_.erase(0, end + 1);
    return true;
  }

 private:
  void ReadUntilEnd(int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      DWORD available = 0;
      if (!PeekNamedPipe(out_, nullptr, 0, nullptr, &available, nullptr)) return;  // ended
      char chunk[256];
      DWORD n = 0;
      if (available > 0 && !ReadFile(out_, chunk, sizeof chunk, &n, nullptr)) return;
      if (available == 0) Sleep(20);
    }
  }
  HANDLE in_;
  HANDLE out_;
  std::string pending_;
};

}  // namespace

std::string LauncherPath(const std::string& local_path) { return HostPathOf(local_path); }

std::unique_ptr<LauncherProcess> StartLauncher(const std::vector<std::string>& args,
                                               std::string& error) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE child_in = nullptr, in = nullptr, out = nullptr, child_out = nullptr;
  if (!CreatePipe(&child_in, &in, &inherit, 0) || !CreatePipe(&out, &child_out, &inherit, 0)) {
    error = "cannot create pipes";
    return nullptr;
  }
  SetHandleInformation(in, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out, HANDLE_FLAG_INHERIT, 0);
  std::string command = Quoted("Z:\\usr\\bin\\python3") + " " +
                        Quoted(std::string(QUILLMEND_TEST_SUPPORT_DIR) + "/serve_ftp.py");
  for (const std::string& a : args) command += " " + Quoted(a);
  std::wstring wide = Wide(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in;
  startup.hStdOutput = child_out;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessW(nullptr, wide.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &info);
  CloseHandle(child_in);
  CloseHandle(child_out);
  if (!started) {
    CloseHandle(in);
    CloseHandle(out);
    error = "cannot start the host's python3 (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return std::make_unique<WineLauncher>(in, out);
}

}  // namespace quillmend::testing

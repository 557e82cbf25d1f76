// Programs on Windows: CreateProcess with the window style, FindWindow by title.
#include <windows.h>

#include "platform/programs.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

class Win32Child : public ChildProcess {
 public:
  Win32Child(HANDLE process, DWORD id) : process_(process), id_(id) {}
  ~Win32Child() override { CloseHandle(process_); }
  unsigned long id() const override { return id_; }
  // Waiting on the handle also ends the wait for a process whose exit code is 259.
  bool HasExited() override { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }
  void Terminate() override {
    if (HasExited()) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);  // the end is near; a stuck driver must not hang us
  }

 private:
  HANDLE process_;
  DWORD id_;
};

std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Narrow(std::wstring(buffer, length)) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

}  // namespace

std::unique_ptr<ChildProcess> StartCommandLine(const std::string& command_line, WindowStyle style,
                                               std::string* error) {
  std::wstring line = Wide(command_line);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = style == WindowStyle::kHidden ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    if (error != nullptr) *error = SystemErrorText(GetLastError());
    return nullptr;
  }
  CloseHandle(info.hThread);
  return std::make_unique<Win32Child>(info.hProcess, info.dwProcessId);
}

bool TopLevelWindowExists(const std::string& title) {
  return FindWindowW(nullptr, Wide(title).c_str()) != nullptr;
}

}  // namespace quillmend

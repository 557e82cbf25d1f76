#include <windows.h>

#include <filesystem>
#include <stdexcept>

#include "platform/file_names.h"
#include "platform/system_info.h"
#include "process/child_processes.h"

namespace quillmend::testing {
namespace {

HANDLE AsHandle(std::uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

std::string SleeperProgramPath() { return ExecutableFolder() + "\\process_sleeper.exe"; }

void InstallSleeperAs(const std::string& path) {
  const std::filesystem::path target = FsPath(path);
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(FsPath(SleeperProgramPath()), target,
                             std::filesystem::copy_options::overwrite_existing);
}

ChildProcess::ChildProcess(const std::string& program, int seconds) {
  const std::wstring application = FsPath(program).wstring();
  std::wstring command_line = L"\"" + application + L"\" " + std::to_wstring(seconds);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    throw std::runtime_error("cannot start " + program);
  }
  CloseHandle(info.hThread);
  handle_ = reinterpret_cast<std::uintptr_t>(info.hProcess);
  id_ = info.dwProcessId;
}

ChildProcess::~ChildProcess() {
  if (!ended_) KillAndReap();
  CloseHandle(AsHandle(handle_));
}

bool ChildProcess::Running() { return !WaitForEnd(0); }

bool ChildProcess::WaitForEnd(int milliseconds) {
  if (ended_) return true;
  if (WaitForSingleObject(AsHandle(handle_), static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) {
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(AsHandle(handle_), &code);
  exit_code_ = static_cast<int>(code);
  ended_ = true;
  return true;
}

void ChildProcess::KillAndReap() {
  if (ended_) return;
  TerminateProcess(AsHandle(handle_), 99);
  WaitForEnd(10000);
}

}  // namespace quillmend::testing

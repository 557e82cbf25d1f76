// CAB archives for the Windows build's tests, made with the system's own cabarc tool (MSZIP).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab_fixtures.h"
#include "platform/win32/wide.h"

namespace quillmend::testing {
namespace {

void AppendQuoted(std::wstring& command, const std::string& argument) {
  command += L" \"" + Wide(argument) + L"\"";
}

}  // namespace

void MakeCab(const std::string& cab_path, const std::vector<std::string>& files) {
  std::wstring command = L"cabarc.exe -m mszip N";
  AppendQuoted(command, cab_path);
  for (const std::string& file : files) AppendQuoted(command, file);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // its report stays out of the test output
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &info))
      << "cannot start cabarc (error " << GetLastError() << ")";
  WaitForSingleObject(info.hProcess, 60000);
  DWORD status = 1;
  GetExitCodeProcess(info.hProcess, &status);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  ASSERT_EQ(status, 0u) << "cabarc failed for " << cab_path;
}

}  // namespace quillmend::testing

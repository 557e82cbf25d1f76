#include <windows.h>

#include "platform/system_info.h"
#include "platform/win32/wide.h"

namespace quillmend {

std::string ExecutableFolder() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  const size_t slash = path.find_last_of(L"\\/");
  return Narrow(slash == std::wstring::npos ? path : path.substr(0, slash));
}

std::optional<std::string> PlatformSystemFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return std::nullopt;
  std::wstring path(buffer, n);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return Narrow(path);
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

bool DisplayAvailable() { return true; }

std::string DefaultNotesCommand() { return "notepad"; }

void SleepMilliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace quillmend

// Under Wine, the ODBC driver is the host's: paths handed to it are host paths, found through
// Wine's wine_get_unix_file_name; host paths are reached from Windows through drive Z:.
#include <windows.h>

#include <cstdlib>

#include "platform/win32/wide.h"
#include "support/host_paths.h"

namespace quillmend::testing {

std::string HostPathOf(const std::string& local_path) {
  using Converter = char*(CDECL*)(const wchar_t*);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto convert = reinterpret_cast<Converter>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  if (convert == nullptr) return local_path;
  char* unix_path = convert(Wide(local_path).c_str());
  if (unix_path == nullptr) return local_path;
  std::string result = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return result;
}

std::string LocalPathOfHost(const std::string& host_path) {
  if (!host_path.empty() && host_path[0] == '/') return "Z:" + host_path;
  return host_path;
}

std::string GetEnvironment(const std::string& name) {
  wchar_t buffer[4096];
  const DWORD n = GetEnvironmentVariableW(Wide(name).c_str(), buffer, 4096);
  if (n == 0 || n >= 4096) return "";
  return Narrow(std::wstring(buffer, n));
}

void SetEnvironment(const std::string& name, const std::string& value) {
  SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
  // The C runtime keeps its own copy, which getenv reads; an empty value removes the name.
  _putenv_s(name.c_str(), value.c_str());
}

void RemoveEnvironment(const std::string& name) {
  SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
  _putenv_s(name.c_str(), "");
}

bool HostEnvironmentIsFixed() { return true; }

}  // namespace quillmend::testing

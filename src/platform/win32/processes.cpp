// Processes on Windows: version record, Toolhelp snapshot, process-status functions, and the
// termination calls. Paths are read through the wide functions and kept as UTF-8, so that
// folder names outside the ANSI code page (Hangul on a non-Korean system) survive.

#include <windows.h>
// windows.h first: the process headers build on its types.
#include <psapi.h>
#include <tlhelp32.h>

#include "platform/processes.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

constexpr DWORD kQueryAndRead = 0x410;      // PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
constexpr DWORD kAllAccess = 0x1F0FFF;      // PROCESS_ALL_ACCESS as the older systems know it
constexpr DWORD kAdjustAndQuery = 0x28;     // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
constexpr DWORD kModuleRoom = 50;           // module handles asked for (200 bytes on x86)
constexpr DWORD kPathRoom = 260;            // first path buffer, in characters
constexpr DWORD kLongestPath = 32768;

bool IsLegacyFamily() { return static_cast<LONG>(GetVersion()) < 0; }

// Sets the one privilege to `attributes` (SE_PRIVILEGE_ENABLED = 2, or 0), without asking for
// the previous state. AdjustTokenPrivileges reports success even when the privilege is not held;
// that is taken as success, as the platform reports it.
bool SetPrivilege(HANDLE token, const LUID& luid, DWORD attributes) {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = luid;
  privileges.Privileges[0].Attributes = attributes;
  return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != 0;
}

// Opens with all access and terminates; true when TerminateProcess reported success.
bool OpenAndTerminate(std::uint32_t process_id, std::uint32_t exit_code) {
  HANDLE process = OpenProcess(kAllAccess, FALSE, process_id);
  if (process == nullptr) return false;
  const bool done = TerminateProcess(process, exit_code) != 0;
  CloseHandle(process);
  return done;
}

}  // namespace

std::int32_t QueryPlatformId() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = 148;
  if (!GetVersionExA(&version)) return 0;
  return static_cast<std::int32_t>(version.dwPlatformId);
}

bool TakeProcessSnapshot(std::vector<SnapshotProcess>* processes) {
  processes->clear();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    // szExeFile is a 260-character field; the text ends at its first NUL.
    const size_t length = wcsnlen(entry.szExeFile, MAX_PATH);
    processes->push_back({entry.th32ProcessID, Narrow(std::wstring_view(entry.szExeFile, length))});
    entry.dwSize = sizeof entry;
  }
  CloseHandle(snapshot);
  return true;
}

bool EnumerateProcessIds(std::uint32_t* ids, std::uint32_t buffer_bytes,
                         std::uint32_t* bytes_written) {
  static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
  DWORD written = 0;
  if (!EnumProcesses(reinterpret_cast<DWORD*>(ids), buffer_bytes, &written)) {
    *bytes_written = 0;
    return false;
  }
  *bytes_written = written;
  return true;
}

std::optional<std::string> ReadProcessExecutablePath(std::uint32_t process_id) {
  HANDLE process = OpenProcess(kQueryAndRead, FALSE, process_id);
  if (process == nullptr) return std::nullopt;
  std::optional<std::string> result;
  HMODULE modules[kModuleRoom] = {};
  DWORD needed = 0;
  if (EnumProcessModules(process, modules, sizeof modules, &needed)) {
    // The path is the first n characters, n being the length the call reports. A path that
    // fills the buffer may have been cut: it is read again into a larger one.
    std::wstring path(kPathRoom, L'\0');
    for (;;) {
      const DWORD n = GetModuleFileNameExW(process, modules[0], path.data(),
                                           static_cast<DWORD>(path.size()));
      if (n + 1 < path.size() || path.size() >= kLongestPath) {
        path.resize(n < path.size() ? n : path.size());
        break;
      }
      path.assign(path.size() * 2, L'\0');
    }
    if (!path.empty()) result = Narrow(path);
  }
  CloseHandle(process);
  return result;
}

bool TerminateProcessById(std::uint32_t process_id, std::uint32_t exit_code) {
  return OpenAndTerminate(process_id, exit_code);
}

bool AttachDebuggerToProcess(std::uint32_t process_id) {
  return DebugActiveProcess(process_id) != 0;
}

bool TerminateProcessWithDebugPrivilege(std::uint32_t process_id, std::uint32_t exit_code) {
  const bool legacy = IsLegacyFamily();
  HANDLE token = nullptr;
  LUID luid{};
  bool result = false;
  if (!legacy) {
    if (!OpenProcessToken(GetCurrentProcess(), kAdjustAndQuery, &token)) return false;
    if (!LookupPrivilegeValueA("", "SeDebugPrivilege", &luid) ||
        !SetPrivilege(token, luid, SE_PRIVILEGE_ENABLED)) {
      CloseHandle(token);
      return false;
    }
  }
  result = OpenAndTerminate(process_id, exit_code);
  if (legacy) return result;
  SetPrivilege(token, luid, 0);
  CloseHandle(token);
  return result;
}

}  // namespace quillmend

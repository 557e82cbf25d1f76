// The Win32 system-call table and its checking versions, which ask the fault rules first.
#include "platform/win32/system_calls.h"

#include <cstdint>

#include "platform/common/fault_table.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

// The addresses of imported functions are known only at load time.
Win32Calls OwnCalls() {
  return {CreateFileW, CloseHandle, WriteFile, FlushFileBuffers,
          MoveFileExW, DeleteFileW, SetFileTime, CopyFileExW};
}

// Winsock's codes, without pulling Winsock in.
constexpr DWORD kConnectionReset = 10054;  // WSAECONNRESET
constexpr DWORD kTimedOut = 10060;         // WSAETIMEDOUT

DWORD ErrorCodeOf(FaultError error) {
  switch (error) {
    case FaultError::kDiskFull: return ERROR_DISK_FULL;
    case FaultError::kAccessDenied: return ERROR_ACCESS_DENIED;
    case FaultError::kIoError: return ERROR_WRITE_FAULT;
    case FaultError::kReadOnly: return ERROR_WRITE_PROTECT;
    case FaultError::kConnectionReset: return kConnectionReset;
    case FaultError::kTimedOut: return kTimedOut;
  }
  return ERROR_WRITE_FAULT;
}

std::intptr_t Key(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// True (last error set) when the call is to fail.
bool Fails(FaultOperation operation, const std::string& path, const std::string& second = {}) {
  const auto error = fault::TakeFault(operation, path, second);
  if (!error) return false;
  SetLastError(ErrorCodeOf(*error));
  return true;
}

HANDLE WINAPI CheckedCreateFile(LPCWSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE template_file) {
  const std::string name = Narrow(path);
  if (Fails(FaultOperation::kOpen, name)) return INVALID_HANDLE_VALUE;
  HANDLE handle = CreateFileW(path, access, share, security, disposition, flags, template_file);
  if (handle != INVALID_HANDLE_VALUE) fault::RememberHandle(Key(handle), name);
  return handle;
}

BOOL WINAPI CheckedCloseHandle(HANDLE handle) {
  fault::ForgetHandle(Key(handle));
  return CloseHandle(handle);
}

BOOL WINAPI CheckedWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped) {
  if (Fails(FaultOperation::kWrite, fault::HandlePath(Key(file)))) return FALSE;
  return WriteFile(file, data, size, written, overlapped);
}

BOOL WINAPI CheckedFlushFileBuffers(HANDLE file) {
  if (Fails(FaultOperation::kFlush, fault::HandlePath(Key(file)))) return FALSE;
  return FlushFileBuffers(file);
}

BOOL WINAPI CheckedMoveFile(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (Fails(FaultOperation::kRename, Narrow(from), to != nullptr ? Narrow(to) : std::string())) {
    return FALSE;
  }
  return MoveFileExW(from, to, flags);
}

BOOL WINAPI CheckedDeleteFile(LPCWSTR path) {
  if (Fails(FaultOperation::kRemove, Narrow(path))) return FALSE;
  return DeleteFileW(path);
}

BOOL WINAPI CheckedSetFileTime(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                               const FILETIME* written) {
  if (Fails(FaultOperation::kSetTime, fault::HandlePath(Key(file)))) return FALSE;
  return SetFileTime(file, created, accessed, written);
}

BOOL WINAPI CheckedCopyFile(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID data,
                            LPBOOL cancel, DWORD flags) {
  const std::string target = Narrow(to);
  if (Fails(FaultOperation::kOpen, target) || Fails(FaultOperation::kWrite, target)) {
    return FALSE;
  }
  return CopyFileExW(from, to, progress, data, cancel, flags);
}

const Win32Calls kCheckingCalls = {
    CheckedCreateFile, CheckedCloseHandle, CheckedWriteFile,   CheckedFlushFileBuffers,
    CheckedMoveFile,   CheckedDeleteFile,  CheckedSetFileTime, CheckedCopyFile,
};

}  // namespace

Win32Calls win32_calls = OwnCalls();

void fault::UseCheckingSystemCalls(bool checking) {
  win32_calls = checking ? kCheckingCalls : OwnCalls();
}

}  // namespace quillmend

// The Win32 backends' replaceable system-call table (see platform/fault_injection.h). Backends
// that write files call through `win32_calls` instead of calling the functions directly; the
// table normally holds the functions themselves. Internal to src/platform/win32.
#pragma once

#include <windows.h>

namespace quillmend {

struct Win32Calls {
  HANDLE(WINAPI* create_file)(LPCWSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE template_file);
  BOOL(WINAPI* close_handle)(HANDLE handle);
  BOOL(WINAPI* write_file)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                           LPOVERLAPPED overlapped);
  BOOL(WINAPI* flush_file_buffers)(HANDLE file);
  BOOL(WINAPI* move_file)(LPCWSTR from, LPCWSTR to, DWORD flags);
  BOOL(WINAPI* delete_file)(LPCWSTR path);
  BOOL(WINAPI* set_file_time)(HANDLE file, const FILETIME* created, const FILETIME* accessed,
                              const FILETIME* written);
  // A copy counts as an open and a write of the new file.
  BOOL(WINAPI* copy_file)(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID data,
                          LPBOOL cancel, DWORD flags);
};

// The table. A failing checking call sets the last error as the real call would and returns
// FALSE (INVALID_HANDLE_VALUE for create_file). It is swapped by InstallFaults/RemoveFaults,
// which tests call while no other thread uses it.
extern Win32Calls win32_calls;

}  // namespace quillmend

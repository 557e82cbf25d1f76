// Atomic placement on Windows: CopyFileEx to a temporary file beside the target (keeps the
// times), FlushFileBuffers, MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH.
// A target held open without delete sharing (a running program) makes the move fail.
#include <windows.h>

#include "platform/file_placement.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

std::string LastErrorText(const std::string& what, const std::string& path, DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = what + " " + path + ": error " + std::to_string(error);
  if (length > 0 && buffer != nullptr) {
    std::wstring message(buffer, length);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n')) {
      message.pop_back();
    }
    text += " (" + Narrow(message) + ")";
  }
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

void FlushToDisk(const std::wstring& path, const std::string& shown) {
  HANDLE file = win32_calls.create_file(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw FilePlacementError(LastErrorText("cannot open", shown, GetLastError()));
  }
  const BOOL flushed = win32_calls.flush_file_buffers(file);
  const DWORD error = GetLastError();
  win32_calls.close_handle(file);
  if (!flushed) throw FilePlacementError(LastErrorText("cannot flush", shown, error));
}

}  // namespace

std::optional<std::int64_t> LastModifiedStamp(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

bool IsVisibleFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                        FILE_ATTRIBUTE_SYSTEM)) == 0;
}

void ReplaceFileAtomically(const std::string& source, const std::string& target) {
  const std::string temp = PlacementTempPath(target);
  const std::wstring wide_temp = Wide(temp);
  // A read-only stale temporary file would make the copy fail.
  SetFileAttributesW(wide_temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!win32_calls.copy_file(Wide(source).c_str(), wide_temp.c_str(), nullptr, nullptr, nullptr,
                             0)) {
    const DWORD error = GetLastError();
    win32_calls.delete_file(wide_temp.c_str());
    throw FilePlacementError(LastErrorText("cannot copy " + source + " to", temp, error));
  }
  try {
    const DWORD attributes = GetFileAttributesW(wide_temp.c_str());
    const bool read_only =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only) SetFileAttributesW(wide_temp.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    FlushToDisk(wide_temp, temp);
    if (read_only) SetFileAttributesW(wide_temp.c_str(), attributes);
    if (!win32_calls.move_file(wide_temp.c_str(), Wide(target).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      throw FilePlacementError(LastErrorText("cannot replace", target, GetLastError()));
    }
  } catch (...) {
    SetFileAttributesW(wide_temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    win32_calls.delete_file(wide_temp.c_str());
    throw;
  }
}

}  // namespace quillmend

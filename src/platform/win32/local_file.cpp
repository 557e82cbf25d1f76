// The local-file writer on Windows: Win32 file handles through the system-call table.
#include "platform/local_file.h"

#include <windows.h>

#include "platform/win32/system_calls.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

bool Fail(std::string* error, const char* what, const std::string& path, DWORD code) {
  if (error == nullptr) return false;
  *error = std::string(what) + " " + path + ": error " + std::to_string(code);
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length > 0 && buffer != nullptr) {
    std::wstring message(buffer, length);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n')) {
      message.pop_back();
    }
    *error += " (" + Narrow(message) + ")";
  }
  if (buffer != nullptr) LocalFree(buffer);
  return false;
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

LocalFileWriter::~LocalFileWriter() {
  if (IsOpen()) win32_calls.close_handle(AsHandle(handle_));
}

bool LocalFileWriter::Create(const std::string& path, std::string* error) {
  if (IsOpen()) Close();
  path_ = path;
  HANDLE file = win32_calls.create_file(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(error, "cannot create", path, GetLastError());
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool LocalFileWriter::Write(const void* data, std::size_t size, std::string* error) {
  if (!IsOpen()) return Fail(error, "cannot write", path_, ERROR_INVALID_HANDLE);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!win32_calls.write_file(AsHandle(handle_), p, piece, &written, nullptr)) {
      return Fail(error, "cannot write", path_, GetLastError());
    }
    if (written == 0) return Fail(error, "cannot write", path_, ERROR_DISK_FULL);
    p += written;
    size -= written;
  }
  return true;
}

bool LocalFileWriter::Flush(std::string* error) {
  if (!IsOpen()) return Fail(error, "cannot flush", path_, ERROR_INVALID_HANDLE);
  if (!win32_calls.flush_file_buffers(AsHandle(handle_))) {
    return Fail(error, "cannot flush", path_, GetLastError());
  }
  return true;
}

bool LocalFileWriter::Close(std::string* error) {
  if (!IsOpen()) return true;
  const BOOL closed = win32_calls.close_handle(AsHandle(handle_));
  handle_ = kNoHandle;
  if (!closed) return Fail(error, "cannot close", path_, GetLastError());
  return true;
}

bool RenameLocalFile(const std::string& from, const std::string& to, std::string* error) {
  if (!win32_calls.move_file(Wide(from).c_str(), Wide(to).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail(error, "cannot rename", from + " to " + to, GetLastError());
  }
  return true;
}

bool RemoveLocalFile(const std::string& path, std::string* error) {
  if (!win32_calls.delete_file(Wide(path).c_str())) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    return Fail(error, "cannot remove", path, code);
  }
  return true;
}

bool SetLocalFileTime(const std::string& path, std::int64_t stamp, std::string* error) {
  HANDLE file = win32_calls.create_file(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return Fail(error, "cannot set the time of", path, GetLastError());
  }
  FILETIME when;
  when.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(stamp) & 0xFFFFFFFFu);
  when.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(stamp) >> 32);
  const BOOL set = win32_calls.set_file_time(file, nullptr, nullptr, &when);
  const DWORD code = GetLastError();
  win32_calls.close_handle(file);
  if (!set) return Fail(error, "cannot set the time of", path, code);
  return true;
}

}  // namespace quillmend

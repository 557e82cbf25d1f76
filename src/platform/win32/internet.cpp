// Internet session port on Windows: WinINet, wide entry points, UTF-8 at the boundary.
#include "platform/internet.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "platform/win32/wide.h"

// The port's functions carry the API's names; the A/W macros must not rename them.
#undef InternetOpen
#undef InternetConnect
#undef InternetGetLastResponseInfo
#undef InternetFindNextFile
#undef InternetOpenUrl
#undef FtpGetCurrentDirectory
#undef FtpSetCurrentDirectory
#undef FtpCreateDirectory
#undef FtpRemoveDirectory
#undef FtpDeleteFile
#undef FtpRenameFile
#undef FtpFindFirstFile
#undef FtpOpenFile
#undef FtpGetFile
#undef FtpPutFile

namespace quillmend::inet {
namespace {

HINTERNET H(Handle handle) { return reinterpret_cast<HINTERNET>(handle); }
Handle Of(HINTERNET handle) { return reinterpret_cast<Handle>(handle); }

// A wide argument, or null for an empty text (WinINet then takes its default).
struct WideArg {
  explicit WideArg(const std::string& text) : value(Wide(text)), empty(text.empty()) {}
  const wchar_t* get() const { return empty ? nullptr : value.c_str(); }
  std::wstring value;
  bool empty;
};

std::uint64_t Join(const FILETIME& t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

void Convert(const WIN32_FIND_DATAW& in, FindData& out) {
  out.attributes = in.dwFileAttributes;
  out.creation_time = Join(in.ftCreationTime);
  out.last_access_time = Join(in.ftLastAccessTime);
  out.last_write_time = Join(in.ftLastWriteTime);
  out.size_high = in.nFileSizeHigh;
  out.size_low = in.nFileSizeLow;
  std::size_t n = 0;
  while (n < MAX_PATH && in.cFileName[n] != 0) ++n;
  out.name = Narrow(std::wstring_view(in.cFileName, n));
}

DWORD OptionOf(Timeout which) { return static_cast<DWORD>(which); }

}  // namespace

std::uint32_t InternetLastError() { return GetLastError(); }

std::string InternetGetLastResponseInfo(std::uint32_t* error_code) {
  const DWORD saved = GetLastError();
  DWORD code = 0;
  DWORD length = 0;
  ::InternetGetLastResponseInfoW(&code, nullptr, &length);
  std::string text;
  if (length > 0) {
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD size = length + 1;
    if (::InternetGetLastResponseInfoW(&code, buffer.data(), &size)) {
      text = Narrow(std::wstring_view(buffer.data(), size));
    }
  }
  if (error_code != nullptr) *error_code = code;
  SetLastError(saved);
  return text.substr(0, text.find('\0'));
}

std::string InternetErrorText(std::uint32_t code) {
  wchar_t buffer[256] = {};
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   GetModuleHandleW(L"wininet.dll"), code, 0, buffer, 256,
                                   nullptr);
  return n == 0 ? std::string() : Narrow(std::wstring_view(buffer, n));
}

std::uint32_t InternetAttemptConnect() { return ::InternetAttemptConnect(0); }

Handle InternetOpen(const std::string& agent, std::uint32_t access_type, std::uint32_t flags) {
  return Of(::InternetOpenW(Wide(agent).c_str(), access_type, nullptr, nullptr, flags));
}

bool InternetSetTimeout(Handle handle, Timeout which, std::uint32_t milliseconds) {
  DWORD value = milliseconds;
  return ::InternetSetOptionW(H(handle), OptionOf(which), &value, sizeof value) != FALSE;
}

Handle InternetConnect(Handle session, const std::string& server, std::uint16_t port,
                       const std::string& user, const std::string& password,
                       std::uint32_t service, std::uint32_t flags) {
  const WideArg wide_user(user), wide_password(password);
  return Of(::InternetConnectW(H(session), Wide(server).c_str(), port, wide_user.get(),
                               wide_password.get(), service, flags, 0));
}

bool InternetCloseHandle(Handle handle) { return ::InternetCloseHandle(H(handle)) != FALSE; }

bool FtpGetCurrentDirectory(Handle connection, std::string& directory) {
  wchar_t buffer[1024] = {};
  DWORD length = 1024;
  if (!::FtpGetCurrentDirectoryW(H(connection), buffer, &length)) return false;
  std::size_t n = 0;
  while (n < 1024 && buffer[n] != 0) ++n;
  directory = Narrow(std::wstring_view(buffer, n));
  return true;
}

bool FtpSetCurrentDirectory(Handle connection, const std::string& directory) {
  return ::FtpSetCurrentDirectoryW(H(connection), Wide(directory).c_str()) != FALSE;
}

bool FtpCreateDirectory(Handle connection, const std::string& directory) {
  return ::FtpCreateDirectoryW(H(connection), Wide(directory).c_str()) != FALSE;
}

bool FtpRemoveDirectory(Handle connection, const std::string& directory) {
  return ::FtpRemoveDirectoryW(H(connection), Wide(directory).c_str()) != FALSE;
}

bool FtpDeleteFile(Handle connection, const std::string& file) {
  return ::FtpDeleteFileW(H(connection), Wide(file).c_str()) != FALSE;
}

bool FtpRenameFile(Handle connection, const std::string& existing, const std::string& new_name) {
  return ::FtpRenameFileW(H(connection), Wide(existing).c_str(), Wide(new_name).c_str()) !=
         FALSE;
}

Handle FtpFindFirstFile(Handle connection, const std::string& filter, FindData& data,
                        std::uint32_t flags) {
  WIN32_FIND_DATAW record{};
  const WideArg wide_filter(filter);
  HINTERNET find = ::FtpFindFirstFileW(H(connection), wide_filter.get(), &record, flags, 0);
  if (find != nullptr) {
    Convert(record, data);
  } else if (GetLastError() == 0) {
    // Some WinINet versions report an empty listing without a code: nothing matched.
    SetLastError(ERROR_NO_MORE_FILES);
  } else if (GetLastError() == ERROR_INTERNET_EXTENDED_ERROR) {
    // A server that answers the listing of a missing name with 550: nothing matches.
    std::uint32_t reply = 0;
    InternetGetLastResponseInfo(&reply);
    if (reply == 550) SetLastError(ERROR_NO_MORE_FILES);
  }
  return Of(find);
}

std::string FtpLastUnreadableListingLine() { return std::string(); }

bool InternetFindNextFile(Handle find, FindData& data) {
  WIN32_FIND_DATAW record{};
  if (!::InternetFindNextFileW(H(find), &record)) return false;
  Convert(record, data);
  return true;
}

Handle FtpOpenFile(Handle connection, const std::string& file, std::uint32_t access,
                   std::uint32_t flags) {
  return Of(::FtpOpenFileW(H(connection), Wide(file).c_str(), access, flags, 0));
}

Handle FtpOpenFileAt(Handle connection, const std::string& file, std::uint64_t offset,
                     std::uint32_t flags) {
  (void)connection;
  (void)file;
  (void)offset;
  (void)flags;
  // WinINet sends its own commands between a REST of ours and its RETR: start over instead.
  SetLastError(ERROR_NOT_SUPPORTED);
  return nullptr;
}

bool FtpGetFileTime(Handle connection, const std::string& file, std::uint64_t& write_time) {
  (void)connection;
  (void)file;
  (void)write_time;
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool InternetReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) {
  DWORD got = 0;
  const BOOL ok = ::InternetReadFile(H(file), buffer, size, &got);
  if (read != nullptr) *read = got;
  return ok != FALSE;
}

bool InternetWriteFile(Handle file, const void* buffer, std::uint32_t size,
                       std::uint32_t* written) {
  DWORD put = 0;
  const BOOL ok = ::InternetWriteFile(H(file), buffer, size, &put);
  if (written != nullptr) *written = put;
  return ok != FALSE && put == size;
}

bool FtpGetFile(Handle connection, const std::string& remote, const std::string& local,
                bool fail_if_exists, std::uint32_t attributes, std::uint32_t flags) {
  const std::wstring wide_local = Wide(local);
  const bool existed = GetFileAttributesW(wide_local.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (::FtpGetFileW(H(connection), Wide(remote).c_str(), wide_local.c_str(),
                    fail_if_exists ? TRUE : FALSE, attributes, flags, 0)) {
    return true;
  }
  // No partial file: what the failed transfer wrote goes (a refused overwrite touched nothing).
  const DWORD error = GetLastError();
  if (!(fail_if_exists && existed)) DeleteFileW(wide_local.c_str());
  SetLastError(error);
  return false;
}

bool FtpPutFile(Handle connection, const std::string& local, const std::string& remote,
                std::uint32_t flags) {
  return ::FtpPutFileW(H(connection), Wide(local).c_str(), Wide(remote).c_str(), flags, 0) !=
         FALSE;
}

Handle InternetOpenUrl(Handle session, const std::string& url, std::uint32_t flags) {
  return Of(::InternetOpenUrlW(H(session), Wide(url).c_str(), nullptr, 0, flags, 0));
}

bool HttpQueryContentLength(Handle request, std::string& value) {
  wchar_t buffer[1024] = {};
  DWORD length = sizeof buffer;
  if (!::HttpQueryInfoW(H(request), HTTP_QUERY_CONTENT_LENGTH, buffer, &length, nullptr)) {
    return false;
  }
  value = Narrow(std::wstring_view(buffer, length / sizeof(wchar_t)));
  return true;
}

}  // namespace quillmend::inet

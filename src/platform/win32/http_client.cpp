// The HTTP size query on Windows: WinINet. The URL is taken apart with InternetCrackUrl and
// asked for with a GET request (redirects followed by WinINet); the time limits are set on the
// connection handle, where WinINet honours them for the requests it opens. Only the answer's
// status and Content-Length are read, never the body.
#include "platform/http_client.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "platform/win32/wide.h"

namespace quillmend {
namespace {

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_ != nullptr) InternetCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

void SetTimeout(HINTERNET handle, DWORD option, int milliseconds) {
  DWORD value = static_cast<DWORD>(milliseconds);
  InternetSetOptionW(handle, option, &value, sizeof value);
}

std::string Failure(const char* call) {
  const DWORD error = GetLastError();
  if (error == ERROR_INTERNET_TIMEOUT) return "the server did not answer in time";
  return std::string(call) + " failed with " + std::to_string(error);
}

}  // namespace

HttpResourceInfo QueryHttpResource(const std::string& url, const HttpLimits& limits) {
  HttpResourceInfo info;
  const std::wstring wide_url = Wide(url);
  std::vector<wchar_t> host(1024), path(8192), extra(8192);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!InternetCrackUrlW(wide_url.c_str(), 0, 0, &parts)) {
    info.error = Failure("InternetCrackUrl");
    return info;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    info.error = "only http:// and https:// URLs are supported";
    return info;
  }
  InternetHandle session(InternetOpenW(L"Zentar Connection Class", INTERNET_OPEN_TYPE_PRECONFIG,
                                       nullptr, nullptr, 0));
  if (session.get() == nullptr) {
    info.error = Failure("InternetOpen");
    return info;
  }
  SetTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connect_ms);
  InternetHandle connection(InternetConnectW(session.get(), host.data(), parts.nPort, nullptr,
                                             nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (connection.get() == nullptr) {
    info.error = Failure("InternetConnect");
    return info;
  }
  SetTimeout(connection.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connect_ms);
  SetTimeout(connection.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.reply_ms);
  SetTimeout(connection.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.reply_ms);
  const std::wstring target = std::wstring(path.data()) + extra.data();
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  InternetHandle request(HttpOpenRequestW(connection.get(), L"GET",
                                          target.empty() ? L"/" : target.c_str(), nullptr,
                                          nullptr, nullptr, flags, 0));
  if (request.get() == nullptr) {
    info.error = Failure("HttpOpenRequest");
    return info;
  }
  SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.reply_ms);
  SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.reply_ms);
  if (!HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
    info.error = Failure("HttpSendRequest");
    return info;
  }
  DWORD status = 0;
  DWORD status_size = sizeof status;
  if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                     &status_size, nullptr)) {
    info.status = static_cast<int>(status);
  }
  if (info.status / 100 != 2) {
    info.error = "the server answered " + std::to_string(info.status);
    return info;
  }
  info.opened = true;
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH, buffer, &size, nullptr)) {
    info.content_length = TrimWhite(Narrow(std::wstring_view(buffer, size / sizeof(wchar_t))));
  }
  return info;
}

}  // namespace quillmend

// The HTTP size query on Windows: WinINet opens the URL (its own session, the system's proxy
// settings) and the answer's status and Content-Length are read with HttpQueryInfo.
#include "platform/http_client.h"

#include <windows.h>
#include <wininet.h>

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

}  // namespace

HttpResourceInfo QueryHttpResource(const std::string& url, const HttpLimits& limits) {
  HttpResourceInfo info;
  InternetHandle session(InternetOpenW(L"Zentar Connection Class", INTERNET_OPEN_TYPE_PRECONFIG,
                                       nullptr, nullptr, 0));
  if (session.get() == nullptr) {
    info.error = "InternetOpen failed with " + std::to_string(GetLastError());
    return info;
  }
  SetTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connect_ms);
  SetTimeout(session.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.reply_ms);
  SetTimeout(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.reply_ms);
  const std::wstring wide_url = Wide(url);
  InternetHandle request(InternetOpenUrlW(session.get(), wide_url.c_str(), nullptr, 0,
                                          INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                          0));
  if (request.get() == nullptr) {
    info.error = "InternetOpenUrl failed with " + std::to_string(GetLastError());
    return info;
  }
  DWORD status = 0;
  DWORD status_size = sizeof status;
  if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                     &status_size, nullptr)) {
    info.status = static_cast<int>(status);
  }
  // Non-HTTP URLs (ftp://) have no status: WinINet opened them, which counts as opened.
  if (info.status != 0 && info.status / 100 != 2) {
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

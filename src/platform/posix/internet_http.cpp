// Internet session port on POSIX: the one HTTP request the port offers (a URL opened with
// GET, HTTP/1.0, and its Content-Length header).
#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/internet.h"
#include "platform/posix/internet_handles.h"

namespace quillmend::inet {
namespace {

constexpr std::uint32_t kErrorInvalidUrl = 12005;
constexpr std::uint32_t kErrorUnrecognizedScheme = 12006;
constexpr std::uint32_t kErrorHeaderNotFound = 12150;
constexpr std::size_t kMaxHead = 65536;

}  // namespace

using posix::Lookup;
using posix::SetLastError;

Handle InternetOpenUrl(Handle session_handle, const std::string& url, std::uint32_t flags) {
  (void)flags;
  auto* session = Lookup<posix::Session>(session_handle, InternetObject::Kind::kSession);
  if (session == nullptr) return nullptr;
  const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0) {
    SetLastError(url.find("://") == std::string::npos ? kErrorInvalidUrl
                                                      : kErrorUnrecognizedScheme);
    return nullptr;
  }
  const std::string rest = url.substr(scheme.size());
  const std::size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  const std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
  std::string host = authority;
  std::uint16_t port = 80;
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string::npos) {
    host = authority.substr(0, colon);
    const int value = std::atoi(authority.c_str() + colon + 1);
    if (value <= 0 || value > 65535) {
      SetLastError(kErrorInvalidUrl);
      return nullptr;
    }
    port = static_cast<std::uint16_t>(value);
  }
  if (host.empty() || path.find_first_of("\r\n ") != std::string::npos) {
    SetLastError(kErrorInvalidUrl);
    return nullptr;
  }
  posix::Socket socket;
  std::uint32_t error = 0;
  if (!posix::Socket::Connect(host, port, session->TimeoutMs(Timeout::kConnect), socket,
                              error)) {
    SetLastError(error);
    return nullptr;
  }
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + authority +
                              "\r\nUser-Agent: " + session->agent +
                              "\r\nConnection: close\r\n\r\n";
  if (!socket.SendAll(request.data(), request.size(), session->TimeoutMs(Timeout::kSend),
                      error)) {
    SetLastError(error);
    return nullptr;
  }
  std::string head;
  char chunk[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const long n = socket.Receive(chunk, sizeof chunk, session->TimeoutMs(Timeout::kReceive),
                                  error);
    if (n <= 0 || head.size() > kMaxHead) {
      SetLastError(n < 0 ? error : kErrorConnectionAborted);
      return nullptr;
    }
    head.append(chunk, static_cast<std::size_t>(n));
  }
  if (head.compare(0, 5, "HTTP/") != 0) {
    SetLastError(kErrorConnectionAborted);
    return nullptr;
  }
  auto request_object = std::make_unique<posix::HttpRequest>();
  std::size_t line_begin = head.find("\r\n") + 2;
  const std::size_t head_end = head.find("\r\n\r\n");
  while (line_begin < head_end) {
    const std::size_t line_end = head.find("\r\n", line_begin);
    const std::string line = head.substr(line_begin, line_end - line_begin);
    line_begin = line_end + 2;
    const std::size_t sep = line.find(':');
    if (sep == std::string::npos) continue;
    std::string name = line.substr(0, sep);
    for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::string value = line.substr(sep + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    request_object->headers[name] = value;
  }
  posix::HttpRequest* raw = request_object.release();
  posix::Register(raw, session);
  return raw;
}

bool HttpQueryContentLength(Handle handle, std::string& value) {
  auto* request = Lookup<posix::HttpRequest>(handle, InternetObject::Kind::kHttpRequest);
  if (request == nullptr) return false;
  const auto found = request->headers.find("content-length");
  if (found == request->headers.end()) {
    SetLastError(kErrorHeaderNotFound);
    return false;
  }
  value = found->second;
  return true;
}

}  // namespace quillmend::inet

// The HTTP size query on POSIX: a minimal HTTP/1.1 client. One connection per request
// ("Connection: close"); only the status line and the header fields are read, never a body.
#include "platform/http_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "base/text.h"

namespace quillmend {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr int kMaxRedirects = 5;

struct Url {
  std::string host;  // without brackets
  std::string port = "80";
  std::string target = "/";
  std::string host_header;
};

std::optional<Url> ParseUrl(const std::string& text, std::string* error) {
  const std::string scheme = "http://";
  if (!StartsWithNoCase(text, scheme)) {
    *error = "only http:// URLs are supported";
    return std::nullopt;
  }
  Url url;
  const std::string rest = text.substr(scheme.size());
  const size_t path_at = rest.find_first_of("/?#");
  std::string authority = rest.substr(0, path_at);
  if (path_at != std::string::npos) {
    url.target = rest.substr(path_at);
    if (url.target[0] != '/') url.target.insert(0, "/");
    const size_t fragment = url.target.find('#');
    if (fragment != std::string::npos) url.target.erase(fragment);
  }
  if (const size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  url.host_header = authority;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) {
      *error = "malformed host in URL";
      return std::nullopt;
    }
    url.host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') {
        *error = "malformed host in URL";
        return std::nullopt;
      }
      url.port = authority.substr(close + 2);
    }
  } else if (const size_t colon = authority.find(':'); colon != std::string::npos) {
    url.host = authority.substr(0, colon);
    url.port = authority.substr(colon + 1);
  } else {
    url.host = authority;
  }
  if (url.host.empty()) {
    *error = "no host in URL";
    return std::nullopt;
  }
  if (url.port.empty() || url.port.size() > 5 ||
      url.port.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(url.port) == 0 || std::stoi(url.port) > 65535) {
    *error = "malformed port in URL";
    return std::nullopt;
  }
  for (const char c : url.target) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
      *error = "blank or control character in URL";
      return std::nullopt;
    }
  }
  return url;
}

class Socket {
 public:
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  int fd_ = -1;
};

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd waiting{fd, events, 0};
    const int ready = poll(&waiting, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

bool Connect(const Url& url, int connect_ms, Socket* socket_out, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int resolved = getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &list);
  if (resolved != 0 || list == nullptr) {
    *error = "cannot resolve " + url.host + ": " + gai_strerror(resolved);
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(connect_ms);
  *error = "cannot connect to " + url.host;
  for (addrinfo* it = list; it != nullptr; it = it->ai_next) {
    const int fd = socket(it->ai_family, it->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          it->ai_protocol);
    if (fd < 0) continue;
    bool connected = connect(fd, it->ai_addr, it->ai_addrlen) == 0;
    if (!connected && errno == EINPROGRESS && WaitFor(fd, POLLOUT, deadline)) {
      int failure = 0;
      socklen_t length = sizeof failure;
      connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) == 0 && failure == 0;
      if (!connected) *error = "cannot connect to " + url.host + ": " + std::strerror(failure);
    } else if (!connected && MillisecondsLeft(deadline) == 0) {
      *error = "connecting to " + url.host + " timed out";
    }
    if (connected) {
      socket_out->fd_ = fd;
      freeaddrinfo(list);
      return true;
    }
    close(fd);
    if (MillisecondsLeft(deadline) == 0) {
      *error = "connecting to " + url.host + " timed out";
      break;
    }
  }
  freeaddrinfo(list);
  return false;
}

bool SendAll(int fd, const std::string& data, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

struct Answer {
  int status = 0;
  std::vector<std::pair<std::string, std::string>> fields;
  const std::string* Field(std::string_view name) const {
    for (const auto& [key, value] : fields) {
      if (EqualsNoCase(key, name)) return &value;
    }
    return nullptr;
  }
};

// Reads up to the blank line that ends the header and parses it.
bool ReadHeader(int fd, Clock::time_point deadline, Answer* answer, std::string* error) {
  std::string header;
  char chunk[4096];
  for (;;) {
    const size_t end = header.find("\r\n\r\n");
    if (end != std::string::npos) {
      header.resize(end + 2);
      break;
    }
    if (header.size() > kMaxHeaderBytes) {
      *error = "the answer's header is too long";
      return false;
    }
    if (!WaitFor(fd, POLLIN, deadline)) {
      *error = "the server did not answer in time";
      return false;
    }
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      *error = "the server closed the connection before its answer was complete";
      return false;
    }
    header.append(chunk, static_cast<size_t>(n));
  }
  const std::vector<std::string> lines = SplitText(header, "\r\n");
  const std::string& status_line = lines[0];
  if (!StartsWithNoCase(status_line, "HTTP/") || status_line.size() < 12 ||
      status_line.find(' ') == std::string::npos) {
    *error = "not an HTTP answer";
    return false;
  }
  const std::string code = status_line.substr(status_line.find(' ') + 1, 3);
  if (code.find_first_not_of("0123456789") != std::string::npos) {
    *error = "not an HTTP answer";
    return false;
  }
  answer->status = std::stoi(code);
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t colon = lines[i].find(':');
    if (colon == std::string::npos) continue;
    answer->fields.emplace_back(TrimWhite(lines[i].substr(0, colon)),
                                TrimWhite(lines[i].substr(colon + 1)));
  }
  return true;
}

bool Request(const Url& url, const char* method, const HttpLimits& limits, Answer* answer,
             std::string* error) {
  Socket socket;
  if (!Connect(url, limits.connect_ms, &socket, error)) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limits.reply_ms);
  const std::string request = std::string(method) + " " + url.target + " HTTP/1.1\r\nHost: " +
                              url.host_header +
                              "\r\nUser-Agent: Zentar Connection Class\r\nAccept: */*\r\n"
                              "Connection: close\r\n\r\n";
  if (!SendAll(socket.fd_, request, deadline)) {
    *error = "cannot send the request";
    return false;
  }
  return ReadHeader(socket.fd_, deadline, answer, error);
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The Location of a redirect as an absolute URL.
std::string Resolve(const Url& base, const std::string& location) {
  if (StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://")) return location;
  if (StartsWithNoCase(location, "//")) return "http:" + location;
  std::string path = location;
  if (path.empty() || path[0] != '/') {
    const std::string directory = base.target.substr(0, base.target.rfind('/') + 1);
    path = directory + path;
  }
  return "http://" + base.host_header + path;
}

}  // namespace

HttpResourceInfo QueryHttpResource(const std::string& url_text, const HttpLimits& limits) {
  HttpResourceInfo info;
  std::string current = url_text;
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    const std::optional<Url> url = ParseUrl(current, &info.error);
    if (!url) return info;
    Answer answer;
    if (!Request(*url, "HEAD", limits, &answer, &info.error)) return info;
    // A server that does not know HEAD, or leaves the length out of its HEAD answer: the
    // header of a GET (its body is never read).
    const bool head_refused = answer.status == 405 || answer.status == 501;
    const bool head_lacks_length = answer.status / 100 == 2 && answer.Field("Content-Length") == nullptr;
    if (head_refused || head_lacks_length) {
      Answer get_answer;
      if (!Request(*url, "GET", limits, &get_answer, &info.error)) return info;
      answer = std::move(get_answer);
    }
    info.status = answer.status;
    if (IsRedirect(answer.status)) {
      const std::string* location = answer.Field("Location");
      if (location == nullptr || location->empty()) {
        info.error = "redirect without a location";
        return info;
      }
      current = Resolve(*url, *location);
      continue;
    }
    if (answer.status / 100 != 2) {
      info.error = "the server answered " + std::to_string(answer.status);
      return info;
    }
    info.opened = true;
    info.error.clear();
    if (const std::string* length = answer.Field("Content-Length")) info.content_length = *length;
    return info;
  }
  info.error = "too many redirects";
  return info;
}

}  // namespace quillmend

// TCP sockets with time limits (poll before every blocking step) and the FTP control channel.
#include "platform/posix/ftp_wire.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/internet.h"
#include "platform/posix/system_calls.h"

namespace quillmend::inet::posix {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until fd is ready for `events` or the time-out passes. 1 ready, 0 time-out, -1 error.
int WaitFor(int fd, short events, std::uint32_t timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now()).count();
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (r > 0) return 1;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

std::uint32_t ConnectError(int err) {
  return err == ETIMEDOUT ? kErrorTimeout : kErrorCannotConnect;
}

std::uint32_t StreamError(int err) {
  if (err == ECONNRESET) return kErrorConnectionReset;
  if (err == ETIMEDOUT) return kErrorTimeout;
  return kErrorConnectionAborted;
}

}  // namespace

std::string Address::HostText() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (family() == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text,
                sizeof text);
  } else if (family() == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text,
                sizeof text);
  }
  return text;
}

std::uint16_t Address::Port() const {
  if (family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
  if (family() == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  }
  return 0;
}

void Address::SetPort(std::uint16_t port) {
  if (family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
  if (family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
}

bool Address::SameHost(const Address& other) const {
  return family() == other.family() && HostText() == other.HostText();
}

Socket::~Socket() { Close(); }

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool Socket::ConnectTo(const Address& address, std::uint32_t timeout_ms, Socket& out,
                       std::uint32_t& error) {
  Socket s(::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) {
    error = kErrorCannotConnect;
    return false;
  }
  SetNonBlocking(s.fd());
  if (posix_calls.connect(s.fd(), reinterpret_cast<const sockaddr*>(&address.storage),
                          address.length) != 0) {
    if (errno != EINPROGRESS) {
      error = ConnectError(errno);
      return false;
    }
    const int ready = WaitFor(s.fd(), POLLOUT, timeout_ms);
    if (ready == 0) {
      error = kErrorTimeout;
      return false;
    }
    int so_error = 0;
    socklen_t len = sizeof so_error;
    ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &so_error, &len);
    if (ready < 0 || so_error != 0) {
      error = ConnectError(so_error);
      return false;
    }
  }
  const int one = 1;
  ::setsockopt(s.fd(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  out = std::move(s);
  return true;
}

bool Socket::Connect(const std::string& host, std::uint16_t port, std::uint32_t timeout_ms,
                     Socket& out, std::uint32_t& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 ||
      list == nullptr) {
    error = kErrorNameNotResolved;
    return false;
  }
  error = kErrorCannotConnect;
  bool connected = false;
  for (addrinfo* a = list; a != nullptr && !connected; a = a->ai_next) {
    Address address;
    std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
    address.length = a->ai_addrlen;
    connected = ConnectTo(address, timeout_ms, out, error);
  }
  ::freeaddrinfo(list);
  return connected;
}

bool Socket::Listen(const Address& local, Socket& out, std::uint32_t& error) {
  Address bind_to = local;
  bind_to.SetPort(0);
  Socket s(::socket(bind_to.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid() ||
      ::bind(s.fd(), reinterpret_cast<const sockaddr*>(&bind_to.storage), bind_to.length) != 0 ||
      ::listen(s.fd(), 1) != 0) {
    error = kErrorInternalError;
    return false;
  }
  SetNonBlocking(s.fd());
  out = std::move(s);
  return true;
}

bool Socket::Accept(std::uint32_t timeout_ms, Socket& out, Address& peer, std::uint32_t& error) {
  const int ready = WaitFor(fd_, POLLIN, timeout_ms);
  if (ready <= 0) {
    error = ready == 0 ? kErrorTimeout : kErrorConnectionAborted;
    return false;
  }
  peer.length = sizeof peer.storage;
  const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer.storage), &peer.length,
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) {
    error = kErrorConnectionAborted;
    return false;
  }
  out = Socket(fd);
  return true;
}

bool Socket::SendAll(const void* data, std::size_t size, std::uint32_t timeout_ms,
                     std::uint32_t& error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = posix_calls.send(fd_, p, size, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int ready = WaitFor(fd_, POLLOUT, timeout_ms);
      if (ready > 0) continue;
      error = ready == 0 ? kErrorTimeout : kErrorConnectionAborted;
      return false;
    }
    error = StreamError(errno);
    return false;
  }
  return true;
}

long Socket::Receive(void* buffer, std::size_t size, std::uint32_t timeout_ms,
                     std::uint32_t& error) {
  for (;;) {
    const ssize_t n = posix_calls.recv(fd_, buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const int ready = WaitFor(fd_, POLLIN, timeout_ms);
      if (ready > 0) continue;
      error = ready == 0 ? kErrorTimeout : kErrorConnectionAborted;
      return -1;
    }
    error = StreamError(errno);
    return -1;
  }
}

bool Socket::LocalAddress(Address& out) const {
  out.length = sizeof out.storage;
  return ::getsockname(fd_, reinterpret_cast<sockaddr*>(&out.storage), &out.length) == 0;
}

bool Socket::PeerAddress(Address& out) const {
  out.length = sizeof out.storage;
  return ::getpeername(fd_, reinterpret_cast<sockaddr*>(&out.storage), &out.length) == 0;
}

std::string Reply::LastLineMessage() const {
  std::string body = text;
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  const std::size_t start = body.rfind('\n');
  std::string line = start == std::string::npos ? body : body.substr(start + 1);
  return line.size() > 4 ? line.substr(4) : std::string();
}

bool ControlChannel::Send(const std::string& command, std::uint32_t timeout_ms,
                          std::uint32_t& error) {
  if (!open()) {
    error = kErrorConnectionAborted;
    return false;
  }
  // A command never carries a line break of its own: it would smuggle in a second command.
  if (command.find_first_of("\r\n") != std::string::npos) {
    error = kErrorInvalidParameter;
    return false;
  }
  const std::string line = command + "\r\n";
  if (!socket_.SendAll(line.data(), line.size(), timeout_ms, error)) {
    Close();
    return false;
  }
  return true;
}

bool ControlChannel::ReadLine(std::uint32_t timeout_ms, std::string& line,
                              std::uint32_t& error) {
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      if (end > kMaxReplyLine) break;
      line = pending_.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending_.erase(0, end + 1);
      return true;
    }
    if (pending_.size() > kMaxReplyLine) break;
    char chunk[4096];
    const long n = socket_.Receive(chunk, sizeof chunk, timeout_ms, error);
    if (n <= 0) {
      if (n == 0) error = kErrorConnectionAborted;
      Close();
      return false;
    }
    pending_.append(chunk, static_cast<std::size_t>(n));
  }
  error = kErrorConnectionAborted;
  Close();
  return false;
}

bool ControlChannel::ReadReply(std::uint32_t timeout_ms, Reply& reply, std::uint32_t& error) {
  reply = Reply{};
  std::string line;
  if (!open()) {
    error = kErrorConnectionAborted;
    return false;
  }
  if (!ReadLine(timeout_ms, line, error)) return false;
  auto has_code = [](const std::string& l) {
    return l.size() >= 3 && l[0] >= '1' && l[0] <= '5' && l[1] >= '0' && l[1] <= '9' &&
           l[2] >= '0' && l[2] <= '9' && (l.size() == 3 || l[3] == ' ' || l[3] == '-');
  };
  if (!has_code(line)) {
    error = kErrorConnectionAborted;
    Close();
    return false;
  }
  reply.code = std::stoi(line.substr(0, 3));
  reply.text = line + "\r\n";
  if (line.size() > 3 && line[3] == '-') {
    // Multi-line: ends with a line that starts with the same code and a blank.
    const std::string last = line.substr(0, 3) + " ";
    for (std::size_t lines = 1;; ++lines) {
      if (lines > kMaxReplyLines || !ReadLine(timeout_ms, line, error)) {
        if (lines > kMaxReplyLines) error = kErrorConnectionAborted;
        Close();
        return false;
      }
      reply.text += line + "\r\n";
      if (line.compare(0, 4, last) == 0 || line == last.substr(0, 3)) break;
    }
  }
  return true;
}

}  // namespace quillmend::inet::posix

// The POSIX FTP backend's wire: TCP sockets with time limits, and the control channel that
// sends commands and reads (multi-line) replies. Internal to src/platform/posix.
//
// Every call waits at most the time-out it is given and reports failure with a WinINet error
// code: 12007 name not resolved, 12029 cannot connect, 12002 time-out, 12030 connection ended
// or a reply that breaks the protocol.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillmend::inet::posix {

// A socket address of either family.
struct Address {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family() const { return storage.ss_family; }
  std::string HostText() const;   // numeric host ("127.0.0.1", "::1")
  std::uint16_t Port() const;
  void SetPort(std::uint16_t port);
  bool SameHost(const Address& other) const;
};

// An owned socket descriptor; closed by the destructor.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket();
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Close();

  // Connects to host:port (first address that answers). 12007 / 12029 / 12002.
  static bool Connect(const std::string& host, std::uint16_t port, std::uint32_t timeout_ms,
                      Socket& out, std::uint32_t& error);
  static bool ConnectTo(const Address& address, std::uint32_t timeout_ms, Socket& out,
                        std::uint32_t& error);
  // Listens on `local` with an OS-chosen port (for active-mode data connections).
  static bool Listen(const Address& local, Socket& out, std::uint32_t& error);
  // Accepts one connection within the time-out; `peer` receives its address.
  bool Accept(std::uint32_t timeout_ms, Socket& out, Address& peer, std::uint32_t& error);

  // Sends everything or fails (12002, 12030).
  bool SendAll(const void* data, std::size_t size, std::uint32_t timeout_ms,
               std::uint32_t& error);
  // Receives up to `size` bytes; 0 means the peer ended the stream. -1 on failure.
  long Receive(void* buffer, std::size_t size, std::uint32_t timeout_ms, std::uint32_t& error);

  bool LocalAddress(Address& out) const;
  bool PeerAddress(Address& out) const;

 private:
  int fd_ = -1;
};

// One server reply: its code and its text (every line, each ended by CRLF).
struct Reply {
  int code = 0;
  std::string text;
  int Class() const { return code / 100; }
  // The text of the last line after the code ("257 "/x" created" -> "\"/x\" created").
  std::string LastLineMessage() const;
};

// Longest reply line accepted; a longer one breaks the protocol (12030).
inline constexpr std::size_t kMaxReplyLine = 8192;
// Most lines accepted in one reply.
inline constexpr std::size_t kMaxReplyLines = 1000;

class ControlChannel {
 public:
  explicit ControlChannel(Socket socket) : socket_(std::move(socket)) {}
  bool open() const { return socket_.valid(); }
  Socket& socket() { return socket_; }
  void Close() { socket_.Close(); }

  // Sends "command\r\n". On failure the channel is closed.
  bool Send(const std::string& command, std::uint32_t timeout_ms, std::uint32_t& error);
  // Reads one complete reply. On failure (time-out, closed, garbage) the channel is closed.
  bool ReadReply(std::uint32_t timeout_ms, Reply& reply, std::uint32_t& error);

 private:
  bool ReadLine(std::uint32_t timeout_ms, std::string& line, std::uint32_t& error);
  Socket socket_;
  std::string pending_;
};

}  // namespace quillmend::inet::posix

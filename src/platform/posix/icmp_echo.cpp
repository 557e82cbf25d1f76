// ICMP echo on POSIX. First choice is an ICMP datagram socket: the kernel fills the identifier
// and the checksum and hands back only the replies to this socket. When the kernel refuses one
// (the process's group is outside net.ipv4.ping_group_range) a raw ICMP socket is used: it sees
// every ICMP packet of the host, so replies are matched by identifier and sequence number, and
// error messages (unreachable, time exceeded) by the copy of our request they carry.
#include "platform/icmp_echo.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace quillmend {
namespace {

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kDestinationUnreachable = 3;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kTimeExceeded = 11;
constexpr size_t kIcmpHeader = 8;

std::atomic<std::uint16_t> g_sequence{1};

std::uint16_t Checksum(const std::uint8_t* data, size_t length) {
  std::uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (length % 2 != 0) sum += static_cast<std::uint32_t>(data[length - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::uint16_t Read16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] << 8 | at[1]); }

class SocketEcho : public IcmpEcho {
 public:
  SocketEcho(int fd, IcmpMethod method) : fd_(fd), method_(method) {}
  ~SocketEcho() override { close(fd_); }
  IcmpMethod Method() const override { return method_; }

  IcmpEchoReply Send(const std::array<std::uint8_t, 4>& destination, const std::string& data,
                     int ttl, int timeout_ms) override {
    IcmpEchoReply reply;
    reply.status = kIcmpStatusGeneralFailure;
    const int ttl_value = ttl;
    setsockopt(fd_, IPPROTO_IP, IP_TTL, &ttl_value, sizeof ttl_value);

    const std::uint16_t identifier = static_cast<std::uint16_t>(getpid() & 0xFFFF);
    const std::uint16_t sequence = g_sequence.fetch_add(1);
    std::vector<std::uint8_t> packet(kIcmpHeader + data.size());
    packet[0] = kEchoRequest;
    packet[4] = static_cast<std::uint8_t>(identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier & 0xFF);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence & 0xFF);
    if (!data.empty()) std::memcpy(packet.data() + kIcmpHeader, data.data(), data.size());
    const std::uint16_t sum = Checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum & 0xFF);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr, destination.data(), 4);
    const auto started = std::chrono::steady_clock::now();
    if (sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
      return reply;
    }
    // Datagram sockets: the kernel rewrites the identifier with the socket's own; compare the
    // sequence number only (the kernel delivers nothing that is not ours).
    const auto deadline = started + std::chrono::milliseconds(timeout_ms);
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd waiting{fd_, POLLIN, 0};
      const int ready = poll(&waiting, 1, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      if (method_ == IcmpMethod::kDatagram && (waiting.revents & POLLERR) != 0) {
        if (const std::uint32_t status = ReadQueuedError(&reply.address)) {
          reply.replies = 1;
          reply.status = status;
          reply.round_trip_ms = static_cast<std::uint32_t>(
              std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - started).count());
          return reply;
        }
        continue;
      }
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      const ssize_t got = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &from_length);
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        break;
      }
      const std::uint8_t* icmp = buffer.data();
      size_t length = static_cast<size_t>(got);
      if (method_ == IcmpMethod::kRaw) {
        // Raw sockets deliver the IP header too.
        if (length < 20) continue;
        const size_t header = static_cast<size_t>(buffer[0] & 0x0F) * 4;
        if (length < header + kIcmpHeader) continue;
        icmp += header;
        length -= header;
      }
      if (length < kIcmpHeader) continue;
      std::uint32_t status = 0;
      if (icmp[0] == kEchoReply) {
        if (Read16(icmp + 6) != sequence) continue;
        if (method_ == IcmpMethod::kRaw && Read16(icmp + 4) != identifier) continue;
      } else if (method_ == IcmpMethod::kRaw &&
                 (icmp[0] == kDestinationUnreachable || icmp[0] == kTimeExceeded)) {
        // The error carries our IP header and the first 8 bytes of our request.
        if (length < kIcmpHeader + 20) continue;
        const std::uint8_t* inner_ip = icmp + kIcmpHeader;
        const size_t inner_header = static_cast<size_t>(inner_ip[0] & 0x0F) * 4;
        if (length < kIcmpHeader + inner_header + kIcmpHeader) continue;
        const std::uint8_t* inner = inner_ip + inner_header;
        if (inner[0] != kEchoRequest || Read16(inner + 4) != identifier ||
            Read16(inner + 6) != sequence) {
          continue;
        }
        status = icmp[0] == kTimeExceeded ? kIcmpStatusTtlExpired : kIcmpStatusUnreachable;
      } else {
        continue;
      }
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - started).count();
      reply.replies = 1;
      std::memcpy(reply.address.data(), &from.sin_addr, 4);
      reply.status = status;
      reply.round_trip_ms = static_cast<std::uint32_t>(elapsed);
      if (status == 0) reply.data.assign(reinterpret_cast<const char*>(icmp + kIcmpHeader), length - kIcmpHeader);
      return reply;
    }
    reply.status = kIcmpStatusTimedOut;
    return reply;
  }

 private:
  // Datagram sockets: an ICMP error about our request waits in the socket's error queue
  // (IP_RECVERR). Returns its status, 0 when the queue held nothing of that kind.
  std::uint32_t ReadQueuedError(std::array<std::uint8_t, 4>* from) {
    char control[512];
    std::uint8_t payload[576];
    iovec part{payload, sizeof payload};
    sockaddr_in offender{};
    msghdr message{};
    message.msg_name = &offender;
    message.msg_namelen = sizeof offender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(fd_, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return 0;
    for (cmsghdr* it = CMSG_FIRSTHDR(&message); it != nullptr; it = CMSG_NXTHDR(&message, it)) {
      if (it->cmsg_level != IPPROTO_IP || it->cmsg_type != IP_RECVERR) continue;
      sock_extended_err error{};
      std::memcpy(&error, CMSG_DATA(it), sizeof error);
      if (error.ee_origin != SO_EE_ORIGIN_ICMP) continue;
      sockaddr_in source{};
      std::memcpy(&source, SO_EE_OFFENDER(reinterpret_cast<sock_extended_err*>(CMSG_DATA(it))),
                  sizeof source);
      std::memcpy(from->data(), &source.sin_addr, 4);
      return error.ee_type == kTimeExceeded ? kIcmpStatusTtlExpired : kIcmpStatusUnreachable;
    }
    return 0;
  }

  int fd_;
  IcmpMethod method_;
};

std::unique_ptr<IcmpEcho> Open(IcmpMethod method, std::string* error) {
  const int type = method == IcmpMethod::kRaw ? SOCK_RAW : SOCK_DGRAM;
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    if (error != nullptr) {
      *error = std::string(IcmpMethodName(method)) + " ICMP socket: " + std::strerror(errno);
    }
    return nullptr;
  }
  if (method == IcmpMethod::kDatagram) {
    const int on = 1;
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  }
  return std::make_unique<SocketEcho>(fd, method);
}

}  // namespace

std::unique_ptr<IcmpEcho> CreateIcmpEcho(IcmpMethod method, std::string* error) {
  if (method == IcmpMethod::kDatagram || method == IcmpMethod::kRaw) return Open(method, error);
  if (method == IcmpMethod::kHelper) {
    if (error != nullptr) *error = "the ICMP helper exists on Windows only";
    return nullptr;
  }
  std::string datagram_error;
  if (auto echo = Open(IcmpMethod::kDatagram, &datagram_error)) return echo;
  std::string raw_error;
  if (auto echo = Open(IcmpMethod::kRaw, &raw_error)) return echo;
  if (error != nullptr) *error = datagram_error + "; " + raw_error;
  return nullptr;
}

}  // namespace quillmend

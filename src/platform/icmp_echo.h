// Port: one ICMP echo ("ping") to an IPv4 address, shaped after the platform's ICMP helper
// (create a handle, send one echo and wait for its reply, close the handle).
// Windows: IcmpCreateFile / IcmpSendEcho / IcmpCloseHandle. POSIX: an ICMP datagram socket
// (allowed for the groups in net.ipv4.ping_group_range); when the kernel refuses one, a raw ICMP
// socket (needs CAP_NET_RAW). Which of them ran is told by Method().
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace quillmend {

// How the echo was sent.
enum class IcmpMethod {
  kAuto,      // POSIX: datagram socket, raw socket when that is refused (only for Create)
  kHelper,    // Windows: the system's ICMP helper
  kDatagram,  // POSIX: SOCK_DGRAM / IPPROTO_ICMP
  kRaw,       // POSIX: SOCK_RAW / IPPROTO_ICMP
};

inline const char* IcmpMethodName(IcmpMethod method) {
  switch (method) {
    case IcmpMethod::kAuto: return "automatic";
    case IcmpMethod::kHelper: return "ICMP helper";
    case IcmpMethod::kDatagram: return "datagram";
    case IcmpMethod::kRaw: return "raw";
  }
  return "";
}

// The reply record: mirrors the fields of the helper's echo reply that callers look at.
struct IcmpEchoReply {
  // Number of replies received (0 or 1). When 0 the other fields stay zero.
  std::uint32_t replies = 0;
  // Source address of the reply in memory (network) order.
  std::array<std::uint8_t, 4> address{};
  // 0 when an echo reply arrived; otherwise a non-zero code (time-out, destination unreachable,
  // time exceeded: the helper's IP_* status values 11000 + n).
  std::uint32_t status = 0;
  // Round trip in milliseconds.
  std::uint32_t round_trip_ms = 0;
  // Bytes of data the reply carried back.
  std::string data;
};

inline constexpr std::uint32_t kIcmpStatusTimedOut = 11010;       // IP_REQ_TIMED_OUT
inline constexpr std::uint32_t kIcmpStatusUnreachable = 11003;    // IP_DEST_HOST_UNREACHABLE
inline constexpr std::uint32_t kIcmpStatusTtlExpired = 11013;     // IP_TTL_EXPIRED_TRANSIT
inline constexpr std::uint32_t kIcmpStatusGeneralFailure = 11050; // IP_GENERAL_FAILURE

class IcmpEcho {
 public:
  virtual ~IcmpEcho() = default;
  // Sends one echo request carrying data with the given time-to-live to the IPv4 address
  // (network order) and waits at most timeout_ms for its reply. Never throws: a send that fails
  // or a reply that does not come gives replies == 0 and a non-zero status.
  virtual IcmpEchoReply Send(const std::array<std::uint8_t, 4>& destination,
                             const std::string& data, int ttl, int timeout_ms) = 0;
  virtual IcmpMethod Method() const = 0;
};

// Creates the ICMP handle with the given method (kAuto: what the platform allows). nullptr when
// none can be created; *error (when given) then says why.
std::unique_ptr<IcmpEcho> CreateIcmpEcho(IcmpMethod method = IcmpMethod::kAuto,
                                         std::string* error = nullptr);

}  // namespace quillmend

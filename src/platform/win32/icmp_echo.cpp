// ICMP echo on Windows: the system's ICMP helper (iphlpapi), one IcmpSendEcho per Send.
#include "platform/icmp_echo.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <cstring>
#include <vector>

namespace quillmend {
namespace {

class HelperEcho : public IcmpEcho {
 public:
  explicit HelperEcho(HANDLE handle) : handle_(handle) {}
  ~HelperEcho() override { IcmpCloseHandle(handle_); }
  IcmpMethod Method() const override { return IcmpMethod::kHelper; }

  IcmpEchoReply Send(const std::array<std::uint8_t, 4>& destination, const std::string& data,
                     int ttl, int timeout_ms) override {
    IcmpEchoReply reply;
    IP_OPTION_INFORMATION options{};
    options.Ttl = static_cast<UCHAR>(ttl);
    IPAddr address = 0;
    std::memcpy(&address, destination.data(), 4);
    // Room for the reply record, the echoed data, an ICMP error's payload and the 8 bytes the
    // helper documents for itself.
    std::vector<unsigned char> buffer(sizeof(ICMP_ECHO_REPLY) + data.size() + 8 + 64, 0);
    std::string request = data;
    const DWORD count = IcmpSendEcho(handle_, address, request.empty() ? nullptr : request.data(),
                                     static_cast<WORD>(request.size()), &options, buffer.data(),
                                     static_cast<DWORD>(buffer.size()),
                                     static_cast<DWORD>(timeout_ms));
    const auto* record = reinterpret_cast<const ICMP_ECHO_REPLY*>(buffer.data());
    if (count == 0) {
      const DWORD error = GetLastError();
      reply.status = record->Status != 0 ? record->Status
                     : error == IP_REQ_TIMED_OUT ? kIcmpStatusTimedOut
                                                 : kIcmpStatusGeneralFailure;
      return reply;
    }
    reply.replies = count;
    std::memcpy(reply.address.data(), &record->Address, 4);
    reply.status = record->Status;
    reply.round_trip_ms = record->RoundTripTime;
    if (record->Status == 0 && record->Data != nullptr) {
      reply.data.assign(static_cast<const char*>(record->Data), record->DataSize);
    }
    return reply;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<IcmpEcho> CreateIcmpEcho(IcmpMethod method, std::string* error) {
  if (method == IcmpMethod::kDatagram || method == IcmpMethod::kRaw) {
    if (error != nullptr) *error = "ICMP sockets are not used on Windows";
    return nullptr;
  }
  const HANDLE handle = IcmpCreateFile();
  if (handle == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = "IcmpCreateFile failed with " + std::to_string(GetLastError());
    return nullptr;
  }
  return std::make_unique<HelperEcho>(handle);
}

}  // namespace quillmend

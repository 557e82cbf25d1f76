#include "net/c_connection.h"

#include <array>
#include <cstring>

#include "crm/host_identity.h"
#include "net/status_texts.h"
#include "platform/host_identity.h"
#include "platform/icmp_echo.h"
#include "startup/shared_state.h"
#include "ui/ui_host.h"

namespace quillmend {
namespace {

constexpr const char* kAgent = "Zentar Connection Class";
constexpr const char* kNotFtp = "Not an FTP session.";
constexpr unsigned short kSocketsVersion = 0x0101;
constexpr size_t kHostNameBuffer = 64;
constexpr size_t kPingDataBytes = 32;
constexpr int kPingTtl = 255;
constexpr int kPingTimeoutMs = 2000;

}  // namespace

cConnection::cConnection(SharedState& state) : state_(state) {}

cConnection::~cConnection() { CloseHandles(); }

void cConnection::Raise(std::int32_t status, const std::string& text) {
  if (StatusChanged) StatusChanged(status, text);
}

void cConnection::CloseHandles() {
  // Closing the session would close the connection too; close the child first, as the handles
  // are released in that order, and forget both so that nothing is closed twice.
  if (hConnection != nullptr) inet::InternetCloseHandle(hConnection);
  hConnection = nullptr;
  if (hInternet != nullptr) inet::InternetCloseHandle(hInternet);
  hInternet = nullptr;
}

bool cConnection::CreateConnection(bool bFTPService, std::string sServerName,
                                   std::string sUsername, std::string sPassword) {
  if (Connected) Disconnect();
  if (inet::InternetAttemptConnect() != 0) return false;
  // A session left over from a failed attempt is replaced, not leaked.
  CloseHandles();
  hInternet = inet::InternetOpen(kAgent, inet::kOpenTypePreconfig, 0);
  if (hInternet == nullptr) {
    Raise(kStatusConnectionFailed, "Unable to connect to the Internet.");
    return false;
  }
  if (bFTPService) {
    const std::uint32_t flags = chkPassive == 1 ? inet::kFlagPassive : 0;
    hConnection = inet::InternetConnect(hInternet, sServerName, server_port_, sUsername,
                                        sPassword, inet::kServiceFtp, flags);
    if (hConnection == nullptr) {
      Disconnect();
      Raise(kStatusConnectionFailed, "Unable to connect to the specified server.");
      return false;
    }
    ServerName = std::move(sServerName);
    Username = std::move(sUsername);
    Password = std::move(sPassword);
  }
  FTPService = bFTPService;
  Connected = true;
  Raise(kStatusConnected);
  return true;
}

void cConnection::Disconnect() {
  CloseHandles();
  Connected = false;
  Raise(kStatusDisconnected);
}

bool cConnection::CanConnect() { return inet::InternetAttemptConnect() == 0; }

std::string cConnection::GetLocalIPAddress() { return GetMyIPAddress(state_); }

std::string cConnection::GetLocalIPHostName() { return GetMyHostName(state_); }

bool cConnection::PingServer(const std::string& HostName, std::int32_t& PingTime,
                             std::string& RemoteIP) {
  Raise(kStatusQuerySent);
  if (HostName.size() > kHostNameBuffer) {
    throw HostNameTooLong("the host name \"" + HostName.substr(0, kHostNameBuffer) +
                          "...\" is longer than " + std::to_string(kHostNameBuffer) +
                          " characters");
  }
  SocketsStartup(kSocketsVersion);
  // The name ends at its first NUL, as in the NUL-padded buffer it is resolved from.
  const std::string name = HostName.substr(0, HostName.find('\0'));
  const auto address = FirstHostAddress(name);
  if (!address || address->size() != 4) {
    Raise(kStatusQueryFailed, "Unable to resolve the host name.");
    SocketsShutdown();
    return false;
  }
  std::array<std::uint8_t, 4> destination{};
  std::memcpy(destination.data(), address->data(), 4);

  std::unique_ptr<IcmpEcho> echo = CreateIcmpEcho();
  if (!echo) {
    Raise(kStatusQueryFailed, "Error while creating Internet Control Message Protocol handle.");
    SocketsShutdown();
    return false;
  }
  last_ping_method_ = echo->Method();
  const IcmpEchoReply reply =
      echo->Send(destination, std::string(kPingDataBytes, 'A'), kPingTtl, kPingTimeoutMs);
  bool result = false;
  // No reply at all counts as a failure: its zero-filled record must not pass for a reply.
  if (reply.replies == 0 || reply.status != 0) {
    Raise(kStatusQueryFailed, "No reply received.");
  } else {
    RemoteIP.clear();
    for (size_t i = 0; i < reply.address.size(); ++i) {
      if (i > 0) RemoteIP += ".";
      RemoteIP += std::to_string(static_cast<unsigned>(reply.address[i]));
    }
    PingTime = static_cast<std::int32_t>(reply.round_trip_ms);
    Raise(kStatusQueryCompleted);
    result = true;
  }
  echo.reset();
  SocketsShutdown();
  return result;
}

bool cConnection::FtpGuard() {
  if (FTPService && Connected) return true;
  Raise(kStatusOperationFailed, kNotFtp);
  return false;
}

void cConnection::RunFolderOperation(bool (*operation)(inet::Handle, const std::string&),
                                     const std::string& argument, const char* failure_text) {
  if (!FtpGuard()) return;
  Raise(kStatusOperationStarted);
  if (operation(hConnection, argument)) {
    Raise(kStatusOperationSucceeded);
  } else {
    Raise(kStatusOperationFailed, failure_text);
  }
}

void cConnection::SetNewDirectory(const std::string& sNewDir) {
  RunFolderOperation(&inet::FtpSetCurrentDirectory, sNewDir,
                     "Error while moving to the new directory");
}

bool cConnection::CreateDirectory(const std::string& sNewDir) {
  RunFolderOperation(&inet::FtpCreateDirectory, sNewDir, "Error while creating the new directory.");
  return false;
}

bool cConnection::RemoveDirectory(const std::string& sDir) {
  RunFolderOperation(&inet::FtpRemoveDirectory, sDir, "Error while deleteing the directory.");
  return false;
}

bool cConnection::EnumFiles(std::vector<std::string>& EnumItemNameBag,
                            std::vector<std::int32_t>& EnumItemAttributeBag,
                            std::vector<std::int32_t>& EnumItemSizeBag) {
  if (!FtpGuard()) return false;
  ClearCollection(EnumItemNameBag);
  ClearCollection(EnumItemAttributeBag);
  ClearCollection(EnumItemSizeBag);

  const inet::Handle connection = hConnection;
  inet::FindData data;
  inet::Handle find = inet::FtpFindFirstFile(connection, "*.*", data, 0);
  std::uint32_t last_error = inet::InternetLastError();
  bool lost_connection = false;
  if (find != nullptr) {
    for (;;) {
      EnumItemAttributeBag.push_back(static_cast<std::int32_t>(data.attributes));
      EnumItemNameBag.push_back(data.name.substr(0, data.name.find('\0')));
      EnumItemSizeBag.push_back(static_cast<std::int32_t>(data.size_low));
      if (state_.ui_ != nullptr) state_.ui_->DoEvents();
      // A handler that disconnected while the window worked has closed the listing with the
      // connection: stop without touching it.
      if (!Connected || hConnection != connection) {
        lost_connection = true;
        break;
      }
      data = inet::FindData{};
      if (!inet::InternetFindNextFile(find, data)) {
        last_error = inet::InternetLastError();
        break;
      }
    }
  }
  if (!lost_connection && last_error == inet::kErrorNoMoreFiles) {
    Raise(kStatusOperationSucceeded);
  } else {
    Raise(kStatusOperationFailed, "Error while enumerating the remote files.");
  }
  if (find != nullptr && !lost_connection) inet::InternetCloseHandle(find);
  return false;
}

std::string cConnection::GetCurrentDirectory() {
  if (!FtpGuard()) return "";
  std::string directory;
  if (inet::FtpGetCurrentDirectory(hConnection, directory)) {
    Raise(kStatusOperationSucceeded);
    return directory.substr(0, directory.find('\0'));
  }
  Raise(kStatusOperationFailed, "Unable to retrieve the current directory.");
  return "";
}

std::string cConnection::GetLastResponseInfo() { return inet::InternetGetLastResponseInfo(); }

}  // namespace quillmend

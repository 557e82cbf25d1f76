// cConnection: an event-reporting Internet client. It opens an Internet session (and, for FTP,
// a logged-in connection), tells whether the machine may go online, reports the local host
// name and IPv4 address, pings a host with one ICMP echo, and works on the folders of an FTP
// connection. Each operation reports its course through StatusChanged with a ConnectionStatus
// code (net/status_texts.h) and an optional English failure text; failures never throw, except
// a PingServer host name longer than 64 characters. Sockets-library failures are shown in
// message boxes (the program's title, OK only). One UI thread; EnumFiles lets the window
// process its events between entries.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/icmp_echo.h"
#include "platform/internet.h"

namespace quillmend {

struct SharedState;

// Raised by PingServer for a host name that does not fit the 64-character name buffer.
class HostNameTooLong : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class cConnection {
 public:
  // state.ui_ receives the message boxes and the event processing of EnumFiles (may be null).
  explicit cConnection(SharedState& state);
  // Closes what is still open, without a notification.
  ~cConnection();
  cConnection(const cConnection&) = delete;
  cConnection& operator=(const cConnection&) = delete;

  // Public fields, in their declaration order.
  inet::Handle hInternet = nullptr;    // the session, set by CreateConnection
  inet::Handle hConnection = nullptr;  // the FTP connection, set by CreateConnection for FTP
  std::string ServerName;              // server, user and password of the last FTP connection
  std::string Username;
  std::string Password;
  bool Connected = false;
  bool FTPService = false;
  // Kept for callers; the class does not use them.
  bool bFOBusy = false;
  std::int32_t ActiveFileBytesSent = 0;
  std::int32_t ActiveFileBytesTotal = 0;
  std::int32_t UploadFlag = 0;
  std::string ActiveFile;
  std::int32_t ActiveIndex = 0;
  std::int32_t ActiveProcedure = 0;
  std::int32_t StartT = 0;

  // The passive-mode option of CreateConnection: 1 opens FTP data connections passively, any
  // other value actively (PORT/EPRT).
  std::int32_t chkPassive = 0;
  // The FTP server's port for CreateConnection; 0 is the service's default (21).
  std::uint16_t server_port_ = 0;

  // How the last PingServer sent its echo (kAuto before the first one).
  IcmpMethod last_ping_method_ = IcmpMethod::kAuto;

  // StatusChanged(NewStatus, sOptionalInfo). Unset: nothing is reported.
  std::function<void(std::int32_t, const std::string&)> StatusChanged;

  // Opens a session and, when bFTPService, connects and logs in to sServerName (at
  // server_port_). Disconnects first when connected. False when the machine
  // may not go online (no notification), the session cannot be opened or the server refuses
  // (status 1 with the reason); on success status 0.
  bool CreateConnection(bool bFTPService, std::string sServerName, std::string sUsername,
                        std::string sPassword);
  // Closes the connection and the session; status 5.
  void Disconnect();
  // True when the machine may attempt a connection.
  bool CanConnect();
  // The first IPv4 address of the trimmed host name in dotted form, or "" after a message box.
  std::string GetLocalIPAddress();
  // The host name, or "" after a message box.
  std::string GetLocalIPHostName();
  // One echo of 32 "A" bytes, time-to-live 255, waiting 2000 ms. Status 6, then 7 with
  // RemoteIP and PingTime (milliseconds) filled and true, or 8 with the reason and false (a name
  // that does not resolve, no ICMP handle, no reply or an error reply). Throws HostNameTooLong
  // (after status 6) for a name longer than 64 characters.
  bool PingServer(const std::string& HostName, std::int32_t& PingTime, std::string& RemoteIP);

  // FTP folder operations: only on a connected FTP session (else status 3 "Not an FTP
  // session."); status 2, then 4 or 3 with the failure text.
  void SetNewDirectory(const std::string& sNewDir);
  bool CreateDirectory(const std::string& sNewDir);  // always false
  bool RemoveDirectory(const std::string& sDir);     // always false

  // Removes the items of a collection, last first.
  template <typename T>
  static void ClearCollection(std::vector<T>& cCol) {
    while (!cCol.empty()) cCol.pop_back();
  }

  // Lists the current folder of the FTP connection into three parallel collections: name,
  // attribute word and low 32 bits of the size of each entry, in the server's order. Status 4
  // when the listing ended normally (an empty folder included), else 3. Always false.
  bool EnumFiles(std::vector<std::string>& EnumItemNameBag,
                 std::vector<std::int32_t>& EnumItemAttributeBag,
                 std::vector<std::int32_t>& EnumItemSizeBag);
  // The server's current folder (status 4), or "" (status 3).
  std::string GetCurrentDirectory();
  // The last reply text of the server ("" when none). No notification.
  std::string GetLastResponseInfo();

 private:
  void Raise(std::int32_t status, const std::string& text = "");
  // The FTP operation guard: true when the operation may run; else reports status 3.
  bool FtpGuard();
  // Status 2, the operation, then 4 or 3 with failure_text.
  void RunFolderOperation(bool (*operation)(inet::Handle, const std::string&),
                          const std::string& argument, const char* failure_text);
  void CloseHandles();

  SharedState& state_;
};

}  // namespace quillmend

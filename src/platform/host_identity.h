// Port: the sockets library as the host-identity routines use it (Windows Sockets 1.1 calls on
// Windows; gethostname/getaddrinfo on POSIX, where there is no library to start).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillmend {

struct SocketsStartupInfo {
  int result = 0;            // 0 when the library started
  int max_sockets = 0;       // the library's maximum number of sockets
  unsigned short version = 0;  // granted version: low byte major, high byte minor
};

// Starts the sockets library asking for requested_version (0x0101 for 1.1). POSIX: always
// started, version granted as asked, a large socket limit.
SocketsStartupInfo SocketsStartup(unsigned short requested_version);
// Shuts the library down; false when it reports a failure.
bool SocketsShutdown();
// The local host name (text up to the first NUL of a 256-byte buffer, UTF-8), or nullopt when
// the call fails (LastSocketError then tells why).
std::optional<std::string> LocalHostName();
// The error number of the last failed sockets call.
int LastSocketError();
// The first address of the host entry for name (as many bytes as the entry's address length,
// 4 for IPv4), or nullopt when the name does not resolve.
std::optional<std::vector<unsigned char>> FirstHostAddress(const std::string& name);

}  // namespace quillmend

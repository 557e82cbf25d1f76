// Host identity on Windows: Windows Sockets 1.1 (WSAStartup, gethostname, gethostbyname).
#include "platform/host_identity.h"

#include <winsock2.h>

#include "platform/codepage.h"

namespace quillmend {

SocketsStartupInfo SocketsStartup(unsigned short requested_version) {
  WSADATA data{};
  SocketsStartupInfo info;
  info.result = WSAStartup(requested_version, &data);
  info.max_sockets = data.iMaxSockets;
  info.version = data.wVersion;
  return info;
}

bool SocketsShutdown() { return WSACleanup() == 0; }

std::optional<std::string> LocalHostName() {
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer) != 0) return std::nullopt;
  return Cp949ToUtf8Lossy(std::string(buffer, strnlen(buffer, sizeof buffer)));
}

int LastSocketError() { return WSAGetLastError(); }

std::optional<std::vector<unsigned char>> FirstHostAddress(const std::string& name) {
  const std::string ansi = Utf8ToCp949(name).value_or(name);
  const hostent* entry = gethostbyname(ansi.c_str());
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
    return std::nullopt;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(entry->h_addr_list[0]);
  return std::vector<unsigned char>(bytes, bytes + entry->h_length);
}

}  // namespace quillmend

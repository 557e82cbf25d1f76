// Host identity on POSIX: no sockets library to start; gethostname and the first IPv4 address
// that getaddrinfo lists for the name (the resolver's order, as gethostbyname gives it).
#include "platform/host_identity.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace quillmend {
namespace {
int g_last_error = 0;  // errno of the last failed call (one UI thread)
}

SocketsStartupInfo SocketsStartup(unsigned short requested_version) {
  SocketsStartupInfo info;
  info.result = 0;
  info.max_sockets = 32767;
  info.version = requested_version;
  return info;
}

bool SocketsShutdown() { return true; }

std::optional<std::string> LocalHostName() {
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) {
    g_last_error = errno;
    return std::nullopt;
  }
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

int LastSocketError() { return g_last_error; }

std::optional<std::vector<unsigned char>> FirstHostAddress(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) {
    return std::nullopt;
  }
  const auto* address = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address->sin_addr);
  std::vector<unsigned char> result(bytes, bytes + 4);
  freeaddrinfo(list);
  return result;
}

}  // namespace quillmend

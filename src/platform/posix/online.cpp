// Online check on POSIX: online when a non-loopback interface is up and the kernel has a
// default route (/proc/net/route destination 00000000).
#include "platform/online.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <fstream>
#include <sstream>
#include <string>

namespace quillmend {
namespace {

bool HasDefaultRoute() {
  std::ifstream routes("/proc/net/route");
  if (!routes) return false;
  std::string line;
  std::getline(routes, line);  // header
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string iface, destination;
    fields >> iface >> destination;
    if (destination == "00000000" && iface != "lo") return true;
  }
  return false;
}

}  // namespace

std::optional<bool> PlatformReportsOffline() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  bool interface_up = false;
  for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if ((it->ifa_flags & IFF_UP) && !(it->ifa_flags & IFF_LOOPBACK)) interface_up = true;
  }
  freeifaddrs(list);
  return !(interface_up && HasDefaultRoute());
}

}  // namespace quillmend

#include "startup/online_check.h"

#include <cstdlib>
#include <string_view>

#include "platform/online.h"

namespace quillmend {

bool IsOnline() {
  if (const char* forced = std::getenv("QUILLMEND_ONLINE")) {
    const std::string_view value(forced);
    if (value == "1") return true;
    if (value == "0") return false;
  }
  const std::optional<bool> offline = PlatformReportsOffline();
  return offline.has_value() && !*offline;
}

}  // namespace quillmend

// Port: the platform's offline query.
#pragma once

#include <optional>

namespace quillmend {

// Windows: InetIsOffline(0) != 0. POSIX: true when no non-loopback interface is up or there is
// no default route. nullopt when the query itself fails (library or entry point missing).
std::optional<bool> PlatformReportsOffline();

}  // namespace quillmend

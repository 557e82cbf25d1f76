// The connection status codes that the connection and remote-file classes report through their
// StatusChanged notification, and the display text of each.
#pragma once

#include <cstdint>
#include <string>

namespace quillmend {

enum ConnectionStatus : std::int32_t {
  kStatusConnected = 0,
  kStatusConnectionFailed = 1,
  kStatusOperationStarted = 2,
  kStatusOperationFailed = 3,
  kStatusOperationSucceeded = 4,
  kStatusDisconnected = 5,
  kStatusQuerySent = 6,
  kStatusQueryCompleted = 7,
  kStatusQueryFailed = 8,
};

// The display text of a status code (UTF-8, exactly as the window shows it); "" for a code
// outside 0..8.
std::string ConnectionStatusText(std::int32_t code);

}  // namespace quillmend

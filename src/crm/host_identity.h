// The local host's name and IPv4 address as they go into the CRM and local rows. Failures are
// shown in the sockets library's English message boxes and give an empty text.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// The local host name, or "" (after a message box) when it cannot be found.
std::string GetMyHostName(SharedState& state);
// The first IPv4 address of the own host name in dotted form, or "" (after a message box).
std::string GetMyIPAddress(SharedState& state);

// Starts the sockets library (version 1.1, at least one socket); shows the reason and returns
// false when it is not acceptable.
bool SocketsInitialize(SharedState& state);
// Shuts the library down; shows a message when that fails.
void SocketsCleanup(SharedState& state);

inline int HiByte(int value) { return (value / 256) & 0xFF; }
inline int LoByte(int value) { return value & 0xFF; }

}  // namespace quillmend

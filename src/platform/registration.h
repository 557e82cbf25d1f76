// Port: the tool that registers a control or library (OCX, DLL) placed in the system folder.
// Windows: "regsvr32" of the system folder. POSIX: [Platform] RegisterCommand of quillmend.ini.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// The registration program, started as "<program>" /s "<file>"; empty when the platform has
// none (registration is then skipped).
std::string RegistrationProgram(const SharedState& state);

}  // namespace quillmend

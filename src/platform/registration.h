// Port: the tool that registers a control or library (OCX, DLL) placed in the system folder.
// Windows: "regsvr32" of the system folder. POSIX: the configured command (the caller passes
// [Platform] RegisterCommand of quillmend.ini).
#pragma once

#include <string>

namespace quillmend {

// The registration program, started as "<program>" /s "<file>"; empty when the platform has
// none (registration is then skipped). `system_folder` is the system folder without a trailing
// separator; `configured_command` the command the agent's settings name (empty: none).
std::string RegistrationProgram(const std::string& system_folder,
                                const std::string& configured_command);

}  // namespace quillmend

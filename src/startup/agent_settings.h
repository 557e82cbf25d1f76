// The agent's own settings, "quillmend.ini" in the program folder (CP949, optional):
//   [CRM] Server=host,port
//   [Platform] SystemFolder, RegisterCommand, NotesCommand   (POSIX)
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// A value of quillmend.ini, trimmed; default_value when the file or key is missing.
std::string AgentSetting(const SharedState& state, const std::string& section,
                         const std::string& key, const std::string& default_value = "");

// The system folder: the platform's, else [Platform] SystemFolder, else program folder +
// separator + "system". Without a trailing separator.
std::string ResolveSystemFolder(const SharedState& state);

}  // namespace quillmend

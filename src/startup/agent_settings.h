// The agent's own settings, "quillmend.ini" in the program folder (CP949, optional):
//   [CRM] Server=host,port
//   [Platform] SystemFolder, RegisterCommand, NotesCommand   (POSIX)
//   [Distribution] ShareFirst, WaitMinutes
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// A value of quillmend.ini, trimmed; default_value when the file or key is missing.
std::string AgentSetting(const SharedState& state, const std::string& section,
                         const std::string& key, const std::string& default_value = "");

// [Distribution] ShareFirst=1: online, take each version from the clinic share when it lies
// whole there (share_first.h). Any other value, or none: off.
bool ShareFirstEnabled(const SharedState& state);
// [Distribution] WaitMinutes (10 when missing, below 1 or no number): how long a workstation waits for another
// one that downloads a version for the share, and after how long such a claim counts as
// abandoned. In seconds.
int ShareWaitSeconds(const SharedState& state);

// The system folder: the platform's, else [Platform] SystemFolder, else program folder +
// separator + "system". Without a trailing separator.
std::string ResolveSystemFolder(const SharedState& state);

}  // namespace quillmend

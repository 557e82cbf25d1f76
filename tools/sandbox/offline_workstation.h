// A second workstation of a sandbox clinic: offline, sharing the first workstation's clinic
// database, and taking its files from the first one's download folder ([SERVER] PATH) the way a
// workstation copies from the clinic server's share.
//
// Layout below its own root, beside the downloader's sandbox:
//   Orvel/    program folder: ORVEL_H.ini ([DB] on the downloader's clinic.db, [SERVER] PATH),
//             quillmend.ini (its own system folder)
//   system/   its system folder
#pragma once

#include <string>
#include <vector>

#include "clinic_sandbox.h"

namespace quillmend::sandbox {

// Creates the offline workstation at offline.root for the clinic of downloader (which must
// exist). installed_version is its [Version] Last; register_command its RegisterCommand. Throws
// std::runtime_error when offline.root already holds a workstation or a step fails.
void AddOfflineWorkstation(const SandboxLayout& downloader, const SandboxLayout& offline,
                           const std::string& installed_version,
                           const std::string& register_command);

// The share path the offline workstation reads: the downloader's download folder.
std::string SharePath(const SandboxLayout& downloader);

// The environment of an offline workstation's agent run: AgentEnvironment with the online check
// forced to offline.
std::vector<std::string> OfflineAgentEnvironment(const SandboxLayout& offline, bool once);

}  // namespace quillmend::sandbox

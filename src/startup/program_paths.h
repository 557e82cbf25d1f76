// Paths inside the program folder. The system spells them Windows-style ("\download\program");
// here they are built with the platform's separator and resolved without regard to case.
#pragma once

#include <string>
#include <string_view>

#include "startup/shared_state.h"

namespace quillmend {

// Replaces every "\" by the platform separator.
std::string NativePath(std::string_view windows_style);
// program folder + relative (given Windows-style, e.g. "\orvel_h.ini"), resolved to an existing
// entry of that name in any case where there is one.
std::string InProgramFolder(const SharedState& state, std::string_view relative);

// The settings file under each of its three spellings ("\ORVEL_H.ini", "\orvel_h.ini",
// "\Orvel_h.ini"); all resolve to the one existing file.
std::string SettingsFile(const SharedState& state, std::string_view spelling);
inline constexpr std::string_view kSettingsForDb = "\\ORVEL_H.ini";
inline constexpr std::string_view kSettingsForVersion = "\\orvel_h.ini";
inline constexpr std::string_view kSettingsForAutoPass = "\\Orvel_h.ini";

// The agent's own settings file, "quillmend.ini" in the program folder.
std::string AgentSettingsFile(const SharedState& state);

}  // namespace quillmend

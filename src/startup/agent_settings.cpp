#include "startup/agent_settings.h"

#include <cstdlib>

#include "platform/file_names.h"
#include "platform/system_info.h"
#include "startup/program_paths.h"
#include "startup/settings.h"

namespace quillmend {

std::string AgentSetting(const SharedState& state, const std::string& section,
                         const std::string& key, const std::string& default_value) {
  return ReadIniValue(AgentSettingsFile(state), section, key, default_value);
}

bool ShareFirstEnabled(const SharedState& state) {
  return AgentSetting(state, "Distribution", "ShareFirst") == "1";
}

int ShareWaitSeconds(const SharedState& state) {
  const std::string text = AgentSetting(state, "Distribution", "WaitMinutes", "10");
  long minutes = std::strtol(text.c_str(), nullptr, 10);
  if (minutes < 1) minutes = 10;
  if (minutes > 24 * 60) minutes = 24 * 60;
  return static_cast<int>(minutes * 60);
}

std::string ResolveSystemFolder(const SharedState& state) {
  if (auto platform = PlatformSystemFolder()) return *platform;
  std::string folder = AgentSetting(state, "Platform", "SystemFolder");
  if (folder.empty()) folder = state.program_folder_ + PathSeparator() + "system";
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder;
}

}  // namespace quillmend

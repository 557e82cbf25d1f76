#include "startup/agent_settings.h"

#include "platform/file_names.h"
#include "platform/system_info.h"
#include "startup/program_paths.h"
#include "startup/settings.h"

namespace quillmend {

std::string AgentSetting(const SharedState& state, const std::string& section,
                         const std::string& key, const std::string& default_value) {
  return ReadIniValue(AgentSettingsFile(state), section, key, default_value);
}

std::string ResolveSystemFolder(const SharedState& state) {
  if (auto platform = PlatformSystemFolder()) return *platform;
  std::string folder = AgentSetting(state, "Platform", "SystemFolder");
  if (folder.empty()) folder = state.program_folder_ + PathSeparator() + "system";
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder;
}

}  // namespace quillmend

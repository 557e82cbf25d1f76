#include "offline_workstation.h"

#include <filesystem>
#include <stdexcept>

#include "agent_run.h"
#include "platform/file_names.h"
#include "startup/settings.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"

namespace quillmend::sandbox {

namespace fs = std::filesystem;

std::string SharePath(const SandboxLayout& downloader) {
  return testing::JoinedPath(downloader.program_folder, "download");
}

void AddOfflineWorkstation(const SandboxLayout& downloader, const SandboxLayout& offline,
                           const std::string& installed_version,
                           const std::string& register_command) {
  std::error_code ec;
  if (!fs::is_regular_file(FsPath(downloader.clinic_db), ec)) {
    throw std::runtime_error(downloader.root + " holds no sandbox clinic to join");
  }
  if (fs::exists(FsPath(offline.program_folder), ec)) {
    throw std::runtime_error(offline.root + " already holds a workstation");
  }
  fs::create_directories(FsPath(offline.program_folder));
  fs::create_directories(FsPath(offline.system_folder));
  testing::WriteClinicDbSettings(offline.program_folder, downloader.clinic_db);
  WriteIniValue(offline.settings_file, "Version", "Last", installed_version);
  WriteIniValue(offline.settings_file, "SERVER", "PATH", SharePath(downloader));
  WriteIniValue(offline.settings_file, "백업", "Ostrel", "N");
  WriteIniValue(offline.agent_settings, "Platform", "SystemFolder", offline.system_folder);
  WriteIniValue(offline.agent_settings, "Platform", "RegisterCommand", register_command);
  WriteIniValue(offline.agent_settings, "Platform", "NotesCommand", "");
}

std::vector<std::string> OfflineAgentEnvironment(const SandboxLayout& offline, bool once) {
  std::vector<std::string> env = AgentEnvironment(offline, once);
  for (std::string& entry : env) {
    if (entry.rfind("QUILLMEND_ONLINE=", 0) == 0) entry = "QUILLMEND_ONLINE=0";
  }
  return env;
}

}  // namespace quillmend::sandbox

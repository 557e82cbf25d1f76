// The automatic pass: the one entry of all unattended work. It checks the online state, runs
// the Internet download pass or the server-share pass, opens the installed version's release
// notes, hides the window to the tray and starts the product's backup program and main screen
// when they are not running.
#include <exception>

#include "net/c_ftp.h"
#include "platform/file_names.h"
#include "platform/local_time.h"
#include "platform/programs.h"
#include "platform/system_info.h"
#include "startup/agent_settings.h"
#include "startup/diagnostics.h"
#include "startup/online_check.h"
#include "startup/program_paths.h"
#include "startup/settings.h"
#include "ui/frm_files.h"
#include "update/update_discovery.h"
#include "update/update_passes.h"

namespace quillmend {

UpdatePassRunner::UpdatePassRunner(SharedState& state, FrmFiles& window)
    : state_(state), window_(window), ftp_(std::make_unique<cFTP>(state)) {
  file_list_ = {""};
}

UpdatePassRunner::~UpdatePassRunner() = default;

template <typename Pass>
void UpdatePassRunner::Guarded(const char* name, Pass pass) {
  if (state_.pass_running_) {
    LogLine(std::string("a pass is running; ") + name + " refused");
    return;
  }
  if (window_.unloaded()) {
    LogLine(std::string("the agent is exiting; ") + name + " refused");
    return;
  }
  state_.pass_running_ = true;
  restart_used_ = false;  // the error path may restart the automatic pass once per pass
  after_pass_done_ = false;
  told_version_failure_ = false;
  try {
    pass();
  } catch (const std::exception& error) {
    // The server pass and the steps after a pass hand their errors to the caller: reported
    // here, never the end of the program.
    window_.Label5.caption = error.what();
    LogLine(std::string(name) + " failed: " + error.what());
  }
  state_.pass_running_ = false;
}

void UpdatePassRunner::Auto() {
  Guarded("the automatic pass", [this] { cmdAuto_Click(); });
}
void UpdatePassRunner::Down() {
  Guarded("the download pass", [this] { cmdDown_Click(); });
}
void UpdatePassRunner::Copy() {
  Guarded("the server pass", [this] { cmdCopy_Click(); });
}
void UpdatePassRunner::Apply() {
  Guarded("the forced download", [this] { m_downapply(); });
}
void UpdatePassRunner::Versions() {
  Guarded("the version search", [this] { quillmend::cmdVer_Click(state_, window_.lstVer); });
}

void UpdatePassRunner::m_netcheck() {
  state_.g_Online = IsOnline();
  window_.timCheck.enabled = state_.g_Online;
  window_.timCopy.enabled = !state_.g_Online;
}

void UpdatePassRunner::cmdAuto_Click() {
  m_netcheck();
  const std::string now = FormatDateTime(LocalNow());
  if (state_.g_Online) {
    window_.Label6.caption = "인터넷(" + now + ")";
    cmdDown_Click();
  } else {
    window_.Label6.caption = "서버(" + now + ")";
    cmdCopy_Click();
  }
  AfterAutomaticPass();
}

void UpdatePassRunner::AfterAutomaticPass() {
  // After a confirmed exit the agent leaves: it opens and starts nothing more.
  if (window_.unloaded()) return;
  // Once per pass: the automatic pass that the error path restarted inside this one has run
  // these steps already.
  if (after_pass_done_) return;
  after_pass_done_ = true;
  OpenReleaseNotes();
  window_.Minimize();
  if (!TopLevelWindowExists("Ostrel") &&
      ReadIniValue(SettingsFile(state_, kSettingsForAutoPass), "백업", "Ostrel", "N") == "Y") {
    StartSibling("Ostrel", "\\Ostrel.exe");
  }
  if (!TopLevelWindowExists("Velmont")) StartSibling("Velmont", "\\Velmont.exe");
}

void UpdatePassRunner::StartSibling(const std::string& title, const std::string& executable) {
  const std::string path = InProgramFolder(state_, executable);
  std::error_code ec;
  if (title == "Ostrel" && !std::filesystem::exists(FsPath(path), ec)) return;
  std::string error;
  if (!StartCommandLine("\"" + path + "\" T", WindowStyle::kNormalFocus, &error)) {
    LogLine("cannot start " + path + ": " + error);
  }
}

void UpdatePassRunner::OpenReleaseNotes() {
  const std::string name = "updateInfo" + GetLastVersion(state_) + ".ini";
  std::error_code ec;
  // Looked up by its bare name in the current folder, which start-up made the program folder.
  if (!std::filesystem::exists(FsPath(ResolveExistingPath(name)), ec)) return;
  const std::string viewer = AgentSetting(state_, "Platform", "NotesCommand", DefaultNotesCommand());
  const std::string path = InProgramFolder(state_, "\\" + name);
  if (viewer.empty()) {
    LogLine("release notes: " + path);
    return;
  }
  std::string error;
  if (!StartCommandLine(viewer + " " + path, WindowStyle::kNormalFocus, &error)) {
    LogLine("cannot open the release notes " + path + ": " + error);
  }
}

}  // namespace quillmend

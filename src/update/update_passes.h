// The update passes behind the window's buttons and timers: the automatic pass, the Internet
// download pass, the forced download of selected versions and the server-share pass.
//
// Entries from the window (buttons, timer ticks) go through the UpdatePasses seam. A pass that
// arrives while another one yields to the event loop is refused and logged, never nested. The
// download pass's error path restarts the automatic pass at most once per pass, and the steps
// after the automatic pass (release notes, siblings) run once per pass, not again for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "startup/shared_state.h"
#include "ui/update_passes.h"

namespace quillmend {

class cFTP;
class FrmFiles;

// Per-customer FTP settings from 오르벨버전서버.
struct FtpSettings {
  std::string folder;    // 경로 less one trailing "/": host before the first "/", then folders
  std::string port;      // 포트, "21" when empty
  std::string user;      // 아이디
  std::string password;  // 패스
};

class UpdatePassRunner final : public UpdatePasses {
 public:
  UpdatePassRunner(SharedState& state, FrmFiles& window);
  ~UpdatePassRunner() override;

  // UpdatePasses: guarded entries (refused while a pass runs; errors never escape).
  void Auto() override;
  void Down() override;
  void Copy() override;
  void Apply() override;
  void Versions() override;

  // The passes themselves.
  void cmdAuto_Click();
  void m_netcheck();
  void cmdDown_Click();
  void m_downapply();
  void cmdCopy_Click();
  void m_sharecopy();

  // Reads 오르벨버전서버 for g_CustomerCode; stores the schedule on the window. False (after
  // the message) when the customer has no row. Throws DbError when the query fails.
  bool m_ftpinfo(FtpSettings& settings);
  // Downloads and applies one version. Returns true when every listed file arrived and the
  // version was applied and recorded. On false, version_failed() tells whether the versions
  // after it must wait (the version is not whole: connection, login, listing, transfer, local
  // file, expansion, placement or settings-file failure, or the agent exiting) or whether it was
  // only passed over (the server says its folder does not exist). Every failure is logged.
  bool m_download(const std::string& remote, const FtpSettings& settings,
                  const std::string& version);
  // Walks one remote folder: downloads the files the version's list names, then descends.
  void m_ftptree(const std::string& remote_folder);

  cFTP& mFTP() { return *ftp_; }
  bool version_failed() const { return version_failed_; }
  const std::vector<std::string>& file_list() const { return file_list_; }

 private:
  // Runs pass under the guard: refused (logged) while another pass runs.
  template <typename Pass>
  void Guarded(const char* name, Pass pass);
  void ClosingSteps(bool restart_schedule);
  void AfterAutomaticPass();
  void StartSibling(const std::string& title, const std::string& executable);
  void OpenReleaseNotes();
  void DownloadPassFailed(const std::string& error_text);
  void SetFileList(std::vector<std::string> names);
  // Marks the version as not whole; the first failure's log key and text are kept.
  void FailVersion(const std::string& log_key, const std::string& text);
  // Logs each name of the version's file list that the walk found nowhere on the server.
  void LogNamesNotOnServer(const std::string& version);
  // True once the window has unloaded: the agent is exiting and nothing more may be done.
  bool Cancelled() const;
  // Writes the installed version again as it stands, to learn before anything of a version is
  // placed whether [Version] Last can take the new one.
  bool LastVersionWritable(const std::string& version);
  void SettingsFileNotWritable(const std::string& version);
  // Shows a version's failure in an OK box when the window is in view (once per pass).
  void TellVersionFailure(const std::string& version, const std::string& text);

  SharedState& state_;
  FrmFiles& window_;
  std::unique_ptr<cFTP> ftp_;
  // The version's file list (index 0 is ""), and its names trimmed and upper-cased.
  std::vector<std::string> file_list_;
  std::unordered_set<std::string> wanted_names_;
  std::string ftp_start_folder_;
  bool version_failed_ = false;
  std::string version_failure_;      // what failed, for Label5
  std::string version_failure_key_;  // the failure-log key of the first failure
  // The file list's names (trimmed, upper-cased) the walk found on the server.
  std::unordered_set<std::string> found_names_;
  bool restart_used_ = false;  // the error path has restarted the automatic pass in this pass
  bool after_pass_done_ = false;  // the steps after the automatic pass ran in this pass
  bool told_version_failure_ = false;  // a version's failure was shown in this pass
  bool told_settings_unwritable_ = false;  // the message is shown once per agent run
};

// " and 가능 = ..." helpers shared with the tests: the name of a listing entry as it is matched
// against the file list (trimmed, upper-cased).
std::string MatchKey(const std::string& name);
// True when a listed name can be used as one path component: not empty, not "." or "..", no
// "/" or "\" and no drive or NUL. Names that fail are skipped and logged.
bool IsSafeListedName(const std::string& name);

}  // namespace quillmend

// The Internet download pass and the forced download: for each newer version, connect to the
// customer's FTP server, walk the version folder, download the files the version names, apply
// them, and record the version.
//
// What is recorded is what is installed. [Version] Last, the product's version setting, the
// 버전파일 rows and the CRM's rows and support records name a version only once every file of it
// is in place, or waits in the pending folder for the next start. A version that is not whole
// (its connection or login failed, a folder could not be listed, a transfer or a local write
// broke, an archive did not expand, a file could be neither placed nor deferred, Last cannot be
// written, or the agent is exiting) is not recorded, and the versions after it wait: the next
// pass starts again from that version and installs it once the cause is gone. Each such failure
// is written to the failure log under a key that says what failed. Only two things pass a
// version over without holding the others back, both logged: a version folder the server says
// does not exist, and a listed file name the server does not hold.
#include <cstdlib>
#include <exception>

#include "apply/apply_downloaded.h"
#include "apply/pending_update.h"
#include "crm/crm_reporting.h"
#include "db/db_access.h"
#include "db/version_bookkeeping.h"
#include "net/c_ftp.h"
#include "process/process_list.h"
#include "process/product_programs.h"
#include "startup/diagnostics.h"
#include "startup/program_paths.h"
#include "startup/settings.h"
#include "base/text.h"
#include "ui/frm_files.h"
#include "ui/ui_host.h"
#include "update/update_discovery.h"
#include "update/share_claim.h"
#include "update/share_first.h"
#include "update/update_passes.h"

namespace quillmend {
namespace {

constexpr const char* kDownloadTip = "최신 프로그램 다운로드 중입니다";
constexpr const char* kIdleTip = "쿠벨IT(주) 자동다운로드";

// The whole-number value of a text, as the schedule columns are read (leading digits only).
long WholeNumber(const std::string& text) {
  return std::strtol(TrimWhite(text).c_str(), nullptr, 10);
}

// True when a failed change of folder was the server's answer that the folder does not exist
// (a permanent 550), not a connection that broke, timed out or was refused.
bool ServerSaysNoSuchFolder(const std::string& last_error) {
  const size_t start = last_error.find_first_not_of(" \r\n");
  return start != std::string::npos && last_error.compare(start, 4, "550 ") == 0;
}

short ClampToShort(long value) {
  if (value > 32767) return 32767;
  if (value < -32768) return -32768;
  return static_cast<short>(value);
}

}  // namespace

void UpdatePassRunner::cmdDown_Click() {
  try {
    state_.g_ContinueUpdate = true;
    window_.SetTrayTip(kDownloadTip);
    OpenLocalDatabase(state_);
    ConnectCrm(state_);
    window_.timCPS.enabled = true;
    m_netcheck();
    window_.timCheck.enabled = false;
    if (!state_.g_Online) {
      state_.ui_->ShowMessage(kProgramTitle, "인터넷연결이 되지않아 다운로드 할수 없습니다.");
      LogFailure(state_, "NotConnect(cmddown_click1)");
      return;
    }
    GetInstalledVersion(state_);
    // Before this pass stores a newer Last, what an ended pass left undone of the version it
    // stored is completed: afterwards nothing would show it.
    CompleteInterruptedVersion(state_);
    FtpSettings settings;
    if (!m_ftpinfo(settings)) return;

    Recordset catalogue;
    if (OpenCatalogue(state_, catalogue)) {
      ListProcesses(state_);
      CloseProductPrograms(state_);
      for (; !catalogue.eof(); catalogue.MoveNext()) {
        if (!state_.g_ContinueUpdate) return;  // declined: the closing steps do not run
        const std::string version = catalogue.Text(0);
        if (!IsNewerThanInstalled(state_, version)) continue;  // never a downgrade (logged)
        window_.lstFile.Clear();
        ShareClaim claim;
        const ShareOutcome from_share = m_sharedown(version, claim);
        if (from_share == ShareOutcome::kInstalled) continue;
        // After a version that is not whole, later versions wait for the next pass: applying
        // them would move the installed version past the incomplete one.
        if (from_share == ShareOutcome::kNotWhole) break;
        if (m_download(settings.folder + "/" + version, settings, version)) {
          m_sharepublish(version, claim);
        } else if (version_failed_) {
          break;
        }
      }
    }
    catalogue.Close();
    if (Cancelled()) return;  // the window unloaded: nothing more is sent or shown
    ClosingSteps(true);
  } catch (const std::exception& error) {
    DownloadPassFailed(error.what());
  }
}

void UpdatePassRunner::DownloadPassFailed(const std::string& error_text) {
  state_.ui_->ShowMessage(kProgramTitle, error_text);
  window_.Label5.caption = error_text;
  LogFailure(state_, "NotConnect(cmddwon_click2)" + error_text);
  if (window_.unloaded()) return;  // the agent is exiting: no new pass
  // The automatic pass runs again, once per pass: a lasting failure must not loop.
  if (restart_used_) {
    // The schedule, which the failed pass stopped, runs again so that a later tick retries.
    LogLine("the download pass failed again; no further restart in this pass");
    m_netcheck();
    return;
  }
  restart_used_ = true;
  cmdAuto_Click();
}

void UpdatePassRunner::ClosingSteps(bool restart_schedule) {
  if (state_.g_Online) SendPendingVersionRecords(state_);
  window_.ShowLatestInstalled();
  window_.timCPS.enabled = false;
  if (restart_schedule) window_.timCheck.enabled = true;
  window_.SetTrayTip(kIdleTip);
}

bool UpdatePassRunner::m_ftpinfo(FtpSettings& settings) {
  const std::string code = state_.g_CustomerCode;
  Recordset rs = QueryOn(state_, "select * from 오르벨버전서버 where 고객번호 = '" +
                                     SqlQuoted(code) + "'",
                         state_.g_Connect2);
  if (rs.eof()) {
    state_.ui_->ShowMessage(kProgramTitle, "고객님의(" + code +
                                               ") 의 프로그램 자동 설치경로가 지정되지 않았습니다." +
                                               "\n" + "고객센타로 문의 하세요");
    return false;
  }
  settings.folder = rs.Text("경로");
  if (!settings.folder.empty() && settings.folder.back() == '/') settings.folder.pop_back();
  settings.port = rs.Text("포트");
  if (settings.port.empty()) settings.port = "21";
  settings.user = rs.Text("아이디");
  settings.password = rs.Text("패스");
  const std::string hours = rs.Text("시간");
  const std::string minutes = rs.Text("분");
  window_.schedule_hours = ClampToShort(hours.empty() ? 0 : WholeNumber(hours));
  long minutes_value = minutes.empty() ? 60 : WholeNumber(minutes);
  if (!minutes.empty() && minutes_value == 0) minutes_value = 59;
  window_.schedule_minutes = ClampToShort(minutes_value);
  return true;
}

bool UpdatePassRunner::Cancelled() const { return window_.unloaded(); }

void UpdatePassRunner::FailVersion(const std::string& log_key, const std::string& text) {
  if (!version_failed_) {
    version_failure_key_ = log_key;
    version_failure_ = text;
  }
  version_failed_ = true;
}

void UpdatePassRunner::TellVersionFailure(const std::string& version, const std::string& text) {
  // Only a window the user is looking at gets the box, once per pass; unattended passes
  // leave the failure log and Label5.
  if (told_version_failure_ || !window_.visible || window_.minimized || Cancelled()) return;
  told_version_failure_ = true;
  state_.ui_->ShowMessage(kProgramTitle, "버전 " + version + " 설치 실패: " + text);
}

bool UpdatePassRunner::LastVersionWritable(const std::string& version) {
  if (CanSaveLastVersion(state_)) return true;
  SettingsFileNotWritable(version);
  return false;
}

void UpdatePassRunner::SettingsFileNotWritable(const std::string& version) {
  const std::string file = SettingsFile(state_, kSettingsForVersion);
  FailVersion("NotSaved(SaveLastVersion) " + version,
              "cannot write [Version] Last to " + file + "; version " + version + " waits");
  if (told_settings_unwritable_) return;
  told_settings_unwritable_ = true;
  state_.ui_->ShowMessage(kProgramTitle, "설치한 버전을 설정 파일에 기록할 수 없습니다.\n" + file +
                                             "\n파일이 읽기 전용인지 확인하여 주십시오.");
}

bool UpdatePassRunner::m_download(const std::string& remote, const FtpSettings& settings,
                                  const std::string& version) {
  cFTP& ftp = mFTP();
  // Set again for each version: a failure of an earlier version or pass says nothing of this one.
  version_failed_ = false;
  version_failure_.clear();
  version_failure_key_.clear();
  found_names_.clear();
  auto not_whole = [&] {
    ftp.CloseConnection();
    window_.Label5.caption = "m_download" + version_failure_;
    LogFailure(state_, version_failure_key_);
    LogLine("version " + version + " is not installed: " + version_failure_);
    TellVersionFailure(version, version_failure_);
    return false;
  };
  if (Cancelled()) {
    FailVersion("Cancelled(m_DwonLoad) " + version, "the agent is exiting");
    return not_whole();
  }
  // A version is installed only when Last can record it afterwards: checked before anything of
  // it is downloaded or placed, so that a read-only settings file installs nothing (and nothing
  // is reported under the old number) until it can be written.
  if (!LastVersionWritable(version)) return not_whole();

  if (!ftp.OpenConnection(remote, settings.port, settings.user, settings.password)) {
    const std::string error = ftp.GetLastErrorMessage();
    if (ServerSaysNoSuchFolder(error)) {
      // The server answered that the version's folder does not exist: this version is passed
      // over and the later ones go on.
      ftp.CloseConnection();
      window_.Label5.caption = "m_download" + error;
      LogFailure(state_, "NoFolder(m_DwonLoad) " + remote);
      LogLine("the server has no folder " + remote + "; version " + version + " passed over");
      return false;
    }
    FailVersion("NotConnect(m_DwonLoad)", error);
    return not_whole();
  }
  const std::string start_folder = ftp.GetFTPDirectory();
  if (start_folder.empty()) {
    // Without the version folder's path the walk would start at the server's root and take
    // matching names from every folder there: the version counts as not reached.
    FailVersion("NotConnect(m_DwonLoad)", ftp.GetLastErrorMessage());
    return not_whole();
  }
  ftp_start_folder_ = start_folder + "/";
  state_.entries_listed_ = 0;
  state_.files_downloaded_ = 0;
  window_.lblCaption[0].caption = "최신 프로그램을 설치중입니다.";
  window_.lblCaption[1].caption = "잠시만 기다려 주십시오.";

  SetFileList(m_filelist(state_, version));
  // A signed manifest in the version folder is fetched and checked before any other file.
  std::string manifest_failure;
  if (!FetchSignedManifest(ftp, state_.g_DownloadPath + "manifest", ManifestKey(state_), manifest_,
                           manifest_failure)) {
    FailVersion("NotSigned(m_DwonLoad) " + version, manifest_failure);
    return not_whole();
  }
  m_ftptree(ftp_start_folder_);
  // Nothing of a version whose files did not all arrive is applied, recorded or reported: the
  // next pass downloads it again.
  if (version_failed_) return not_whole();
  LogNamesNotOnServer(version);
  std::string failure;
  if (!ApplyDownloadedFiles(state_, version, &failure)) {
    // ApplyDownloadedFiles logged what failed.
    version_failed_ = true;
    ftp.CloseConnection();
    window_.Label5.caption = "m_download" + failure;
    TellVersionFailure(version, failure);
    return false;
  }
  if (!SaveLastVersion(state_, version)) {
    // The files are in place and recorded, but Last could not take the version (the file
    // became read-only since the check): nothing is reported under the old number and the
    // later versions wait. The next pass finds every file current and copies nothing.
    SettingsFileNotWritable(version);
    return not_whole();
  }
  ftp.CloseConnection();
  window_.lblCaption[0].caption = "최신 버전설치가 완료되었습니다.";
  window_.lblCaption[1].caption = "최신파일 다운로드를 완료하였습니다. ";
  window_.lbl고객.caption = state_.g_CustomerCode + "(" + version + ")";
  if (state_.g_Online && !Cancelled()) UpdateProductVersion(state_);
  return true;
}

void UpdatePassRunner::m_downapply() {
  window_.SetTrayTip(kDownloadTip);
  window_.timCPS.enabled = true;
  CheckPendingUpdate(state_);
  m_netcheck();
  GetInstalledVersion(state_);
  if (!state_.g_Online) {
    LogFailure(state_, "NotConnect(m_downapply)");
    return;
  }
  CompleteInterruptedVersion(state_);
  FtpSettings settings;
  if (!m_ftpinfo(settings)) return;
  ListBoxControl& versions = window_.lstVer;
  for (int i = versions.ListCount() - 1; i >= 0; --i) {
    if (!versions.selected[static_cast<size_t>(i)]) continue;
    const std::string version = versions.items[static_cast<size_t>(i)];
    if (!IsNewerThanInstalled(state_, version)) continue;  // forced, yet never a downgrade
    window_.lstFile.Clear();
    if (!m_download(settings.folder + "/" + version, settings, version) && version_failed_) break;
  }
  if (Cancelled()) return;
  ClosingSteps(false);
}

}  // namespace quillmend

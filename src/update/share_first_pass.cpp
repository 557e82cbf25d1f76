// The download pass's use of the clinic share with [Distribution] ShareFirst=1: each version is
// taken from the share when it lies whole there, else downloaded and then left whole on the
// share for the other workstations of the clinic.
#include <chrono>
#include <exception>
#include <filesystem>
#include <map>

#include "apply/apply_downloaded.h"
#include "apply/staging_paths.h"
#include "base/text.h"
#include "crm/crm_reporting.h"
#include "db/version_bookkeeping.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "platform/system_info.h"
#include "startup/agent_settings.h"
#include "startup/diagnostics.h"
#include "startup/folders.h"
#include "startup/program_paths.h"
#include "startup/settings.h"
#include "ui/frm_files.h"
#include "ui/ui_host.h"
#include "update/share_claim.h"
#include "update/share_first.h"
#include "update/update_passes.h"

namespace quillmend {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCopyingLine = "서버에서 최신 프로그램을 복사중입니다.";
constexpr const char* kWaitingLine = "다른 컴퓨터가 최신 프로그램을 다운로드 중입니다.";
constexpr const char* kStoringLine = "최신 프로그램을 서버에 저장중입니다.";
constexpr const char* kPleaseWait = "잠시만 기다려 주십시오.";
constexpr const char* kCopiedLine = "서버의 최신파일 복사를 완료하였습니다. ";
constexpr const char* kShareState = "Internet_Share";

std::string Upper(const std::string& path) { return ToUpperAscii(path); }

std::optional<std::int64_t> SizeOf(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(FsPath(path), ec);
  if (ec) return std::nullopt;
  return static_cast<std::int64_t>(size);
}

// Why the share cannot give version whole, or "" when it can: the record, the clinic database's
// rows and the files on the share must agree, and the vendor's manifest where there is one.
std::string WhyNotWhole(SharedState& state, const std::string& share, const std::string& version,
                        const std::vector<std::string>& rows,
                        const std::optional<ShareRecord>& record) {
  if (rows.empty()) return "the clinic database records no file of it";
  if (!record) return "the share holds no record that it is whole there";
  std::map<std::string, const ShareRecordFile*> recorded;
  for (const ShareRecordFile& file : record->files) recorded[Upper(file.recorded)] = &file;
  if (recorded.size() != rows.size()) {
    return "the share's record names other files than the clinic database";
  }
  for (const std::string& row : rows) {
    if (recorded.count(Upper(row)) == 0) {
      return "the share's record does not name " + row + ", which the clinic database names";
    }
  }
  const auto manifest = VendorManifestDigests(state, version);
  for (const ShareRecordFile& file : record->files) {
    const std::string path = PathOnShare(share, file.recorded);
    if (!IsVisibleFile(path)) return path + " is not on the share";
    if (SizeOf(path) != file.size) return path + " is not complete on the share";
    if (manifest) {
      const auto listed = manifest->find(Upper(file.recorded));
      if (listed == manifest->end() || !EqualsNoCase(listed->second, file.sha256)) {
        return path + " is not the file of the vendor's manifest";
      }
    }
  }
  return "";
}

}  // namespace

UpdatePassRunner::ShareOutcome UpdatePassRunner::m_sharedown(const std::string& version,
                                                             ShareClaim& claim) {
  if (!ShareFirstEnabled(state_)) return ShareOutcome::kNotUsed;
  if (!IsShareableVersion(version)) {
    LogLine("share: version \"" + version + "\" cannot be named on a share; downloaded");
    return ShareOutcome::kNotUsed;
  }
  const std::optional<std::string> share = ReachableShare(state_);
  if (!share) return ShareOutcome::kNotUsed;
  // Set again for each version, as the download does.
  version_failed_ = false;
  version_failure_.clear();
  version_failure_key_.clear();
  const int wait_seconds = ShareWaitSeconds(state_);
  std::vector<std::string> targets;
  try {
    const auto wait_until = std::chrono::steady_clock::now() + std::chrono::seconds(wait_seconds);
    std::string why;
    std::optional<ShareRecord> record;
    for (;;) {
      const std::vector<std::string> rows = RecordedFilesOf(state_, version);
      record = ReadShareRecord(*share, version);
      why = WhyNotWhole(state_, *share, version, rows, record);
      // Whole, or a record that does not match (nothing to wait for): decided.
      if (why.empty() || record || std::chrono::steady_clock::now() >= wait_until) break;
      // No record yet. While another workstation holds the claim it is downloading the
      // version for the share: wait for it rather than download the same files again.
      // Otherwise this workstation claims it and downloads; when the claim cannot be made
      // although nobody else holds it (a read-only share), it downloads all the same.
      const std::string owner = ClaimOwner(state_);
      if (!ShareClaim::OtherHolds(*share, version, owner, wait_seconds) &&
          (claim.Take(*share, version, owner, wait_seconds) ||
           !ShareClaim::OtherHolds(*share, version, owner, wait_seconds))) {
        break;
      }
      window_.lblCaption[0].caption = kWaitingLine;
      window_.lblCaption[1].caption = kPleaseWait;
      for (int turn = 0; turn < 10 && !Cancelled(); ++turn) {
        state_.ui_->DoEvents();
        SleepMilliseconds(100);
      }
      if (Cancelled()) return ShareOutcome::kNotUsed;  // m_download then records nothing
    }
    if (!why.empty()) {
      LogLine("share: version " + version + " is downloaded: " + why);
      // Claimed, the others wait for this workstation's download instead of making their own.
      if (!claim.held()) claim.Take(*share, version, ClaimOwner(state_), wait_seconds);
      return ShareOutcome::kNotUsed;
    }
    if (!LastVersionWritable(version)) {
      LogFailure(state_, version_failure_key_);
      return ShareOutcome::kNotWhole;
    }

    // Every file is copied into this workstation's download folder, each checked against the
    // record (size and digest) as it is read: a file replaced or cut short meanwhile is never
    // installed, and the version is downloaded instead.
    window_.lblCaption[0].caption = kCopyingLine;
    window_.lblCaption[1].caption = kPleaseWait;
    const std::string tag = ShareTempTag(state_);
    const std::int32_t count = static_cast<std::int32_t>(record->files.size());
    std::int32_t done = 0;
    for (const ShareRecordFile& file : record->files) {
      const std::string source = PathOnShare(*share, file.recorded);
      const std::string target = InProgramFolder(state_, file.recorded);
      window_.lblFile.caption = FileNameOf(target) + " 복사중";
      window_.lblCounter.caption = std::to_string(++done) + "/" + std::to_string(count);
      window_.ShowPercent(done, count);
      EnsureFolderPath(target.substr(0, target.find_last_of("\\/") + 1));
      std::string error;
      const auto yield = [this](std::size_t bytes) {
        state_.bytes_counter_ += static_cast<std::int32_t>(bytes);
        state_.ui_->DoEvents();
      };
      if (Cancelled() || !CopyVerified(source, target, file.size, file.sha256, tag, yield, &error)) {
        if (Cancelled()) return ShareOutcome::kNotUsed;
        LogLine("share: version " + version + " is downloaded: " + error);
        claim.Take(*share, version, ClaimOwner(state_), wait_seconds);
        return ShareOutcome::kNotUsed;
      }
      targets.push_back(target);
    }
  } catch (const std::exception& error) {
    // The clinic database or the share failed: the Internet serves the version as ever.
    LogLine(std::string("share: not used for version ") + version + ": " + error.what());
    return ShareOutcome::kNotUsed;
  }

  // The version is whole here: applied and recorded exactly as a download would be, its CRM
  // rows marked as taken from the share.
  for (const std::string& target : targets) window_.lstFile.AddItem(target);
  std::string failure;
  state_.online_record_state_ = kShareState;
  const bool applied = ApplyDownloadedFiles(state_, version, &failure);
  state_.online_record_state_ = "Internet";
  if (!applied) {
    version_failed_ = true;
    window_.Label5.caption = "m_sharedown" + failure;
    return ShareOutcome::kNotWhole;
  }
  if (!SaveLastVersion(state_, version)) {
    SettingsFileNotWritable(version);
    LogFailure(state_, version_failure_key_);
    return ShareOutcome::kNotWhole;
  }
  window_.lblCaption[0].caption = "최신 버전설치가 완료되었습니다.";
  window_.lblCaption[1].caption = kCopiedLine;
  window_.lbl고객.caption = state_.g_CustomerCode + "(" + version + ")";
  LogLine("share: version " + version + " installed from the share " + *share);
  if (state_.g_Online && !Cancelled()) UpdateProductVersion(state_);
  return ShareOutcome::kInstalled;
}

void UpdatePassRunner::m_sharepublish(const std::string& version, ShareClaim& claim) {
  // The claim is released and the window's lines say again that the version is installed,
  // however this ends.
  struct AtEnd {
    ShareClaim& claim;
    FrmFiles& window;
    bool touched_lines = false;
    ~AtEnd() {
      claim.Release();
      if (!touched_lines) return;
      window.lblCaption[0].caption = "최신 버전설치가 완료되었습니다.";
      window.lblCaption[1].caption = "최신파일 다운로드를 완료하였습니다. ";
    }
  } at_end{claim, window_};
  if (!ShareFirstEnabled(state_) || !IsShareableVersion(version) || Cancelled()) return;
  const std::optional<std::string> share = ReachableShare(state_);
  if (!share) return;
  try {
    // The share keeps one copy of each file, the newest version's: an older version is never
    // written over the files of a newer one that the clinic database records.
    if (ClinicRecordsNewerVersion(state_, version)) {
      LogLine("share: a version newer than " + version + " is recorded; the share keeps its files");
      return;
    }
    const std::vector<std::string> rows = RecordedFilesOf(state_, version);
    if (rows.empty()) return;
    at_end.touched_lines = true;
    window_.lblCaption[0].caption = kStoringLine;
    window_.lblCaption[1].caption = kPleaseWait;
    // Whatever record the share holds for the version stops being true as its files are
    // replaced: it goes first, the new one comes last.
    RemoveShareRecord(*share, version);
    ShareRecord record{version, state_.g_HostName, {}};
    const std::string tag = ShareTempTag(state_);
    for (const std::string& row : rows) {
      const std::string source = InProgramFolder(state_, row);
      const std::string target = PathOnShare(*share, row);
      window_.lblFile.caption = FileNameOf(target) + " 저장중";
      EnsureFolderPath(target.substr(0, target.find_last_of("\\/") + 1));
      std::string error;
      std::string digest;
      const auto size = SizeOf(source);
      const auto yield = [this](std::size_t) { state_.ui_->DoEvents(); };
      if (!size || !CopyVerified(source, target, *size, "", tag, yield, &error, &digest)) {
        if (!size) error = "cannot read " + source;
        LogFailure(state_, "NotShared(m_sharepublish) " + version);
        LogLine("share: version " + version + " is not left on the share: " + error);
        return;
      }
      record.files.push_back({row, *size, digest});
    }
    std::string error;
    if (!WriteShareRecord(*share, record, tag, &error)) {
      LogFailure(state_, "NotShared(m_sharepublish) " + version);
      LogLine("share: version " + version + " is not left on the share: " + error);
      return;
    }
    LogLine("share: version " + version + " left whole on the share " + *share);
  } catch (const std::exception& error) {
    LogFailure(state_, "NotShared(m_sharepublish) " + version);
    LogLine(std::string("share: version ") + version + " is not left on the share: " + error.what());
  }
}

}  // namespace quillmend

// The walk of a version's remote folder tree: every listed file whose bare name the version's
// file list holds is downloaded into the mirrored local folder and queued for the apply step.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <vector>

#include "net/c_ftp.h"
#include "platform/file_names.h"
#include "startup/diagnostics.h"
#include "startup/folders.h"
#include "startup/program_paths.h"
#include "base/text.h"
#include "startup/settings.h"
#include "ui/frm_files.h"
#include "update/update_passes.h"

namespace quillmend {

std::string MatchKey(const std::string& name) { return ToUpperAscii(TrimBlanks(name)); }

bool IsSafeListedName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == '\0' || c == ':') return false;
  }
  return TrimWhite(name) != "..";
}

void UpdatePassRunner::SetFileList(std::vector<std::string> names) {
  file_list_ = std::move(names);
  if (file_list_.empty()) file_list_.push_back("");
  wanted_names_.clear();
  // Every entry, index 0 included, takes part in the match; a set makes the walk linear in the
  // sizes of the listing and the list.
  for (const std::string& name : file_list_) wanted_names_.insert(MatchKey(name));
}

void UpdatePassRunner::LogNamesNotOnServer(const std::string& version) {
  for (size_t i = 1; i < file_list_.size(); ++i) {
    const std::string key = MatchKey(file_list_[i]);
    if (key.empty() || found_names_.count(key) != 0) continue;
    // Passed over, as a name the server does not hold always was; now it is on record.
    LogFailure(state_, "NotOnServer(m_ftptree) " + version + " " + TrimBlanks(file_list_[i]));
    LogLine("version " + version + " lists " + file_list_[i] + ", which the server does not hold");
  }
}

void UpdatePassRunner::m_ftptree(const std::string& remote_folder) {
  cFTP& ftp = mFTP();
  const std::string below_start = remote_folder.substr(
      std::min(ftp_start_folder_.size(), remote_folder.size()));
  const std::string local_folder = state_.g_DownloadPath + NativePath(ReplaceAll(below_start, "/", "\\"));
  try {
    EnsureFolderPath(local_folder);
  } catch (const std::exception& error) {
    // A staging folder that cannot be made fails the version like a failed transfer.
    FailVersion("NotSaved(m_ftptree) " + local_folder, error.what());
    return;
  }

  // A folder that cannot be entered or listed fails the version: listing the folder the
  // connection is still in instead would walk it again (without end), and a version with
  // unlisted files must not be recorded as installed.
  bool walkable = ftp.SetFTPDirectory(remote_folder);
  if (walkable) {
    ftp.GetDirectoryListing("*.*");
    walkable = !ftp.LastListingFailed();
  }
  if (!walkable) {
    FailVersion("NotListed(m_ftptree) " + remote_folder, ftp.GetLastErrorMessage());
    LogLine("cannot walk the remote folder " + remote_folder + ": " + ftp.GetLastErrorMessage());
    return;
  }
  const cDirList& listing = ftp.Directory();
  state_.entries_listed_ += listing.Count();
  // The listing is copied: downloads below may replace the client's directory list.
  const std::vector<cDirItem> entries(listing.begin(), listing.end());

  const std::int32_t names = static_cast<std::int32_t>(file_list_.size()) - 1;
  std::vector<std::string> folders;
  for (const cDirItem& entry : entries) {
    state_.ui_->DoEvents();
    if (Cancelled()) {
      // "종료" was confirmed: the walk stops here and the version is not installed.
      FailVersion("Cancelled(m_ftptree) " + remote_folder, "the agent is exiting");
      return;
    }
    if (entry.Directory) {
      if (entry.Filename == "." || entry.Filename == "..") continue;
      if (!IsSafeListedName(entry.Filename)) {
        LogLine("skipped the listed folder name \"" + entry.Filename + "\"");
        continue;
      }
      folders.push_back(entry.Filename);
      continue;
    }
    if (wanted_names_.count(MatchKey(entry.Filename)) == 0) continue;
    if (!IsSafeListedName(entry.Filename)) {
      LogLine("skipped the listed file name \"" + entry.Filename + "\"");
      continue;
    }
    const std::int32_t done = ++state_.files_downloaded_;
    window_.lblFile.caption = entry.Filename;
    const std::int32_t expected = done > names ? done : names;
    window_.lblCounter.caption = std::to_string(done) + "/" + std::to_string(expected);
    window_.ShowPercent(done, expected);
    state_.ui_->DoEvents();
    if (Cancelled()) {
      FailVersion("Cancelled(m_ftptree) " + remote_folder, "the agent is exiting");
      return;
    }
    found_names_.insert(MatchKey(entry.Filename));
    const std::string local_path = local_folder + entry.Filename;
    bool arrived = false;
    std::string error_text;
    try {
      if (entry.FileSize == 0) {
        // An empty file has no block to transfer; it arrives as an empty file.
        std::ofstream(FsPath(local_path), std::ios::binary | std::ios::trunc);
        std::error_code ec;
        arrived = std::filesystem::exists(FsPath(local_path), ec);
        if (!arrived) error_text = "local file: " + local_path + ": cannot be created";
      } else {
        arrived = ftp.FTPDownloadFile(local_path, remote_folder + entry.Filename, entry.FileSize);
        if (!arrived) error_text = ftp.GetLastErrorMessage();
      }
    } catch (const std::exception& error) {
      error_text = error.what();
    }
    if (arrived) {
      window_.lstFile.AddItem(local_path);
    } else {
      // The client's text names a local file when the staging side failed (disk full, folder
      // not writable); otherwise the transfer did.
      const bool local = error_text.find("local file: ") != std::string::npos;
      const char* what = Cancelled() ? "Cancelled(m_ftptree) "
                         : local     ? "NotSaved(m_ftptree) "
                                     : "NotDownloaded(m_ftptree) ";
      FailVersion(what + remote_folder + entry.Filename, error_text);
      LogLine("download of " + remote_folder + entry.Filename + " failed: " + error_text);
      return;  // the version is not whole: nothing more of it is fetched in this pass
    }
  }
  if (version_failed_) return;
  for (const std::string& folder : folders) {
    if (version_failed_) return;
    m_ftptree(remote_folder + folder + "/");
  }
}

}  // namespace quillmend

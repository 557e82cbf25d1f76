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

void UpdatePassRunner::m_ftptree(const std::string& remote_folder) {
  cFTP& ftp = mFTP();
  const std::string below_start = remote_folder.substr(
      std::min(ftp_start_folder_.size(), remote_folder.size()));
  const std::string local_folder = state_.g_DownloadPath + NativePath(ReplaceAll(below_start, "/", "\\"));
  EnsureFolderPath(local_folder);

  // A folder that cannot be entered or listed fails the version: listing the folder the
  // connection is still in instead would walk it again (without end), and a version with
  // unlisted files must not be recorded as installed.
  bool walkable = ftp.SetFTPDirectory(remote_folder);
  if (walkable) {
    ftp.GetDirectoryListing("*.*");
    walkable = !ftp.LastListingFailed();
  }
  if (!walkable) {
    version_failed_ = true;
    if (version_failure_.empty()) version_failure_ = ftp.GetLastErrorMessage();
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
    const std::string local_path = local_folder + entry.Filename;
    bool arrived = false;
    try {
      if (entry.FileSize == 0) {
        // An empty file has no block to transfer; it arrives as an empty file.
        std::ofstream(FsPath(local_path), std::ios::binary | std::ios::trunc);
        std::error_code ec;
        arrived = std::filesystem::exists(FsPath(local_path), ec);
      } else {
        arrived = ftp.FTPDownloadFile(local_path, remote_folder + entry.Filename, entry.FileSize);
      }
    } catch (const std::exception& error) {
      version_failure_ = error.what();
    }
    if (arrived) {
      window_.lstFile.AddItem(local_path);
    } else {
      version_failed_ = true;
      if (version_failure_.empty()) version_failure_ = ftp.GetLastErrorMessage();
      LogLine("download of " + remote_folder + entry.Filename + " failed: " + version_failure_);
    }
  }
  for (const std::string& folder : folders) m_ftptree(remote_folder + folder + "/");
}

}  // namespace quillmend

// The server-share pass: an offline workstation copies the files that the clinic database
// records for versions newer than its own from the downloading workstation's download folder,
// and places them like downloaded files.
#include <filesystem>

#include "apply/pending_update.h"
#include "apply/placement.h"
#include "db/db_access.h"
#include "db/version_bookkeeping.h"
#include "platform/file_names.h"
#include "startup/diagnostics.h"
#include "startup/program_paths.h"
#include "startup/settings.h"
#include "startup/text.h"
#include "ui/frm_files.h"
#include "update/update_passes.h"

namespace quillmend {
namespace {

bool HasParentStep(const std::string& path) {
  for (const std::string& part : SplitText(path, "\\")) {
    if (TrimWhite(part) == "..") return true;
  }
  return false;
}

}  // namespace

void UpdatePassRunner::cmdCopy_Click() {
  state_.g_Online = false;
  OpenLocalDatabase(state_);
  GetInstalledVersion(state_);
  CheckPendingUpdate(state_);
  m_sharecopy();
  window_.ShowLatestInstalled();
}

void UpdatePassRunner::m_sharecopy() {
  const std::string last = GetLastVersion(state_);
  Recordset newest;
  std::string newest_version;
  if (OpenRecordset(state_, newest,
                    "select max(버전) from 버전파일 where 버전 > '" + SqlQuoted(last) + "'")) {
    newest_version = newest.Text(0);
  }
  newest.Close();
  if (newest_version.empty()) return;

  Recordset files;
  OpenRecordset(state_, files,
                "select distinct 파일 from 버전파일 where 버전 > '" + SqlQuoted(last) +
                    "' and 파일 <> '' ");
  std::string share = GetServerPath(state_);
  if (!share.empty() && (share.back() == '\\' || share.back() == '/')) share.pop_back();
  state_.g_AllPlaced = true;
  for (; !files.eof(); files.MoveNext()) {
    // Rows are written Windows-style; either separator is accepted.
    std::string file = ReplaceAll(files.Text(0), "/", "\\");
    if (EndsWithNoCase(file, ".CAB")) file = RemoveEveryNoCase(file, ".cab");
    file = RemoveEveryNoCase(file, "\\download");
    // Checked on the path as it will be read: the removals can join ".." out of other text.
    if (HasParentStep(file)) {
      LogLine("server pass: refused the path " + file + " (it leaves its folder)");
      continue;
    }
    const std::string source = ResolveExistingPath(share + NativePath(file));
    std::error_code error;
    if (!std::filesystem::is_regular_file(FsPath(source), error)) {
      // A share that is missing or lacks a file: the version is not installed, so Last stays and
      // the next pass tries again.
      LogLine("server pass: " + source + " cannot be read from the share");
      state_.g_AllPlaced = false;
      continue;
    }
    PlaceStagedFile(state_, newest_version, source);
  }
  if (state_.g_AllPlaced) SaveLastVersion(state_, newest_version);
}

}  // namespace quillmend

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
#include "base/text.h"
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

// The share must be the downloading machine's download folder, reachable now. Otherwise no
// file can be copied or placed, and moving the installed version on would skip them all.
bool IsUsableShare(const std::string& share) {
  const std::string unified = ReplaceAll(share, "\\", "/");
  if (!EndsWithNoCase(unified, "/download")) {
    LogLine("server pass: the share \"" + share + "\" is not a download folder; nothing copied");
    return false;
  }
  std::error_code error;
  if (!std::filesystem::is_directory(FsPath(ResolveExistingPath(share)), error)) {
    LogLine("server pass: the share " + share + " cannot be reached; nothing copied");
    return false;
  }
  return true;
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
  if (!IsUsableShare(share)) return;  // nothing can be copied: the installed version stays
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
    // A file the downloader recorded but no longer keeps there (the companion program it moved
    // out, an archive that did not expand) is passed over, as on the downloader.
    PlaceStagedFile(state_, newest_version, ResolveExistingPath(share + NativePath(file)));
  }
  // A share lost during the pass made later files look merely absent: checked again.
  if (state_.g_AllPlaced && IsUsableShare(share)) SaveLastVersion(state_, newest_version);
}

}  // namespace quillmend

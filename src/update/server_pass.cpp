// The server-share pass: an offline workstation copies the files that the clinic database
// records for versions newer than its own from the downloading workstation's download folder,
// and places them like downloaded files.
#include <filesystem>
#include <optional>
#include <unordered_set>
#include <vector>

#include "apply/pending_update.h"
#include "apply/placement.h"
#include "db/db_access.h"
#include "db/version_bookkeeping.h"
#include "db/version_order.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
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

std::string RecordedVersionsQuery() { return "select distinct 버전 from 버전파일"; }

std::string RecordedFilesQuery(const std::string& version) {
  return "select distinct 파일 from 버전파일 where 버전 = '" + SqlQuoted(version) +
         "' and 파일 <> '' ";
}

// One version the clinic database records files for, with the paths of its files below the
// share (separator of the platform, starting with it).
struct RecordedVersion {
  std::string version;
  std::vector<std::string> files;
};

// The path below the share of a recorded file; nullopt (logged) for a path that would leave it.
std::optional<std::string> PathBelowShare(const std::string& recorded) {
  // Rows are written Windows-style; either separator is accepted.
  std::string file = ReplaceAll(recorded, "/", "\\");
  if (EndsWithNoCase(file, ".CAB")) file = RemoveEveryNoCase(file, ".cab");
  file = RemoveEveryNoCase(file, "\\download");
  // Checked on the path as it will be read: the removals can join ".." out of other text.
  if (HasParentStep(file)) {
    LogLine("server pass: refused the path " + file + " (it leaves its folder)");
    return std::nullopt;
  }
  return NativePath(file);
}

// The versions recorded in 버전파일 that come after last, oldest first, each with its files.
// Every recorded version is read and the order decided here: the database's text order puts
// 7.5.10 before 7.5.9. Throws DbError (the pass's caller handles it).
std::vector<RecordedVersion> RecordedVersionsAfter(SharedState& state, const std::string& last) {
  Recordset rs;
  std::vector<std::string> names;
  if (OpenRecordset(state, rs, RecordedVersionsQuery())) {
    for (; !rs.eof(); rs.MoveNext()) {
      if (IsNewerVersion(rs.Text(0), last)) names.push_back(rs.Text(0));
    }
  }
  rs.Close();
  SortVersions(names);
  std::vector<RecordedVersion> versions;
  for (const std::string& name : names) {
    RecordedVersion version{name, {}};
    Recordset files;
    if (OpenRecordset(state, files, RecordedFilesQuery(name))) {
      for (; !files.eof(); files.MoveNext()) {
        if (auto file = PathBelowShare(files.Text(0))) version.files.push_back(*file);
      }
    }
    files.Close();
    versions.push_back(std::move(version));
  }
  return versions;
}

void LogMissingOnShare(const SharedState& state, const std::string& version,
                       const std::string& source) {
  LogLine("server pass: " + source + " of version " + version +
          " is not on the share; the installed version stays");
  LogFailure(state, "NotFound(m_sharecopy) " + source);
}

// True when the share holds every file of the version; each missing one is logged.
bool ShareHoldsEveryFile(const SharedState& state, const std::string& share,
                         const RecordedVersion& version) {
  bool whole = true;
  for (const std::string& file : version.files) {
    if (!IsVisibleFile(ResolveExistingPath(share + file))) {
      LogMissingOnShare(state, version.version, share + file);
      whole = false;
    }
  }
  return whole;
}

// The waiting rows this pass wrote under version are removed when the version turned out not
// to be whole here (the next pass places and records those files again).
void RemoveRows(SharedState& state, const std::string& version) {
  try {
    ExecuteStatement(state,
                     "delete from 버전파일개별 where 버전 = '" + SqlQuoted(version) +
                         "' and 이름 = '" + SqlQuoted(state.g_HostName) + "' and IP = '" +
                         SqlQuoted(state.g_LocalIP) + "' and 전송여부 = 'N'",
                     state.g_Connect);
  } catch (const std::exception& error) {
    LogLine(std::string("server pass: the rows of version ") + version +
            " could not be removed: " + error.what());
  }
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

// What is recorded is what is installed: Last moves past a version only when every file the
// downloader recorded for it has been placed here or deferred to the pending folder. The versions
// newer than Last are taken one at a time in version order; the first one that is not whole (a
// file missing from the share, or one that could neither be placed nor deferred) stops the pass
// and keeps Last before it, and the next pass begins with it again. Files are recorded under the
// newest version placed whole, and only once every file of the versions up to it is placed or
// deferred: the share keeps only the latest copy of each file.
void UpdatePassRunner::m_sharecopy() {
  const std::string last = GetLastVersion(state_);
  const std::vector<RecordedVersion> versions = RecordedVersionsAfter(state_, last);
  if (versions.empty()) return;

  std::string share = GetServerPath(state_);
  if (!share.empty() && (share.back() == '\\' || share.back() == '/')) share.pop_back();
  if (!IsUsableShare(share)) return;  // nothing can be copied: the installed version stays

  // Nothing of a version is placed unless the share holds all of it.
  size_t whole = 0;
  while (whole < versions.size() && ShareHoldsEveryFile(state_, share, versions[whole])) ++whole;
  if (whole == 0) return;

  // Every file of the versions is placed before any is recorded: a waiting row names a version
  // only once all of it is here, also when the agent is ended in between.
  state_.g_AllPlaced = true;
  std::unordered_set<std::string> copied;  // each file of the share is placed once
  std::vector<PlacedFile> placed;          // the files of the versions placed whole
  std::string reached;
  for (size_t i = 0; i < whole && state_.g_AllPlaced; ++i) {
    std::vector<PlacedFile> version_files;
    for (const std::string& file : versions[i].files) {
      if (!copied.insert(ToUpperAscii(file)).second) continue;
      const std::string source = ResolveExistingPath(share + file);
      version_files.push_back(PlaceWithoutRecording(state_, source));
      if (version_files.back().outcome == PlacementOutcome::kAbsent) {
        LogMissingOnShare(state_, versions[i].version, share + file);  // gone since it was seen
        state_.g_AllPlaced = false;
      }
      if (!state_.g_AllPlaced) break;
    }
    if (state_.g_AllPlaced) {
      reached = versions[i].version;
      for (PlacedFile& file : version_files) placed.push_back(std::move(file));
    } else {
      LogLine("server pass: version " + versions[i].version +
              " is not whole here; the next pass tries it again");
    }
  }
  // Recorded under the newest version reached: the share keeps only the latest copy of a file.
  const bool placed_all = state_.g_AllPlaced;
  state_.g_AllPlaced = true;
  for (const PlacedFile& file : placed) {
    if (file.outcome == PlacementOutcome::kPlaced) RecordPlacement(state_, reached, file);
  }
  if (!state_.g_AllPlaced && !reached.empty()) {
    // A file that could not be recorded could not be deferred either: the version is not
    // whole here, and the next pass places and records it again.
    LogLine("server pass: version " + reached + " could not be recorded whole");
    RemoveRows(state_, reached);
    reached.clear();
  }
  state_.g_AllPlaced = placed_all && state_.g_AllPlaced;
  // A share lost during the pass made later files look merely absent: checked again.
  if (!reached.empty() && IsUsableShare(share)) SaveLastVersion(state_, reached);
}

}  // namespace quillmend

#include "apply/apply_downloaded.h"

#include <filesystem>
#include <vector>

#include "apply/placement.h"
#include "apply/staging_paths.h"
#include "db/db_access.h"
#include "net/mod_ftp.h"
#include "platform/cab_expand.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "platform/local_time.h"
#include "startup/diagnostics.h"
#include "startup/program_paths.h"
#include "base/text.h"
#include "startup/settings.h"
#include "ui/frm_files.h"

namespace quillmend {
namespace {

constexpr std::string_view kArchiveSuffix = ".CAB";

// The version's rows of 버전파일, all in one transaction: a workstation that reads them (the
// server pass of an offline one) finds every file of the version or none, also when this one
// stops in the middle. A file already recorded under the version is not recorded again. False
// (logged, nothing of the version recorded by this call) when a row cannot be written.
bool RecordVersionFiles(SharedState& state, const std::string& version,
                        const std::vector<std::string>& relatives) {
  if (relatives.empty()) return true;
  try {
    ExecuteStatement(state, "begin transaction", state.g_Connect);
  } catch (const std::exception& e) {
    LogLine("cannot record version " + version + ": " + e.what());
    return false;
  }
  try {
    for (const std::string& relative : relatives) {
      Recordset rs;
      if (QueryWithParams(state, rs, "select 버전 from 버전파일 where 버전 = ? and 파일 = ? ",
                          {"", version, relative})) {
        continue;
      }
      ExecuteWithParams(state, " insert into 버전파일 (버전,파일,일자) values (?,?,?) ",
                        {"", version, relative, FormatDateTime(LocalNow())}, state.g_Connect);
    }
    ExecuteStatement(state, "commit transaction", state.g_Connect);
    return true;
  } catch (const std::exception& e) {
    LogLine("cannot record the files of version " + version + ": " + e.what());
  }
  try {
    ExecuteStatement(state, "rollback transaction", state.g_Connect);
  } catch (const std::exception& e) {
    LogLine("cannot roll back the rows of version " + version + ": " + e.what());
  }
  return false;
}

bool IsReadOnly(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec) return false;
  return (status.permissions() & std::filesystem::perms::owner_write) ==
         std::filesystem::perms::none;
}

// The window's counter and file label while the apply works on entry index of count.
void ShowApplying(FrmFiles& window, const std::string& path, size_t index, size_t count) {
  window.lblFile.caption = FileNameOf(path) + " 적용중";
  window.lblCounter.caption = std::to_string(index + 1) + "/" + std::to_string(count);
}

bool Fail(SharedState& state, std::string* failure, const std::string& key,
          const std::string& text) {
  LogFailure(state, key);
  LogLine(text);
  if (failure != nullptr) *failure = text;
  return false;
}

bool SameTimeAndSize(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec_a, ec_b;
  const auto size_a = std::filesystem::file_size(a, ec_a);
  const auto size_b = std::filesystem::file_size(b, ec_b);
  if (ec_a || ec_b || size_a != size_b) return false;
  const auto time_a = LastModifiedStamp(Utf8Path(a));
  return time_a && time_a == LastModifiedStamp(Utf8Path(b));
}

}  // namespace

std::string ExpandArchive(SharedState& state, const std::string& path, std::string* error,
                          int time_limit_ms) {
  const std::string expanded = path.substr(0, path.size() - kArchiveSuffix.size());
  // The expansion goes to a temporary file that replaces the expanded file only when it is
  // complete: an earlier expansion stays whole for the workstations copying from this folder.
  std::string why;
  const CommandRunner run = [&state, time_limit_ms](const std::string& command_line) {
    RunAndWait(state, command_line, time_limit_ms);
  };
  if (!ExpandSingleFileCabinet(path, expanded, run, &why)) {
    LogLine("cannot expand " + why);
    if (error != nullptr) *error = why;
    return {};
  }
  return expanded;
}

bool ReplaceCompanionProgram(SharedState& state) {
  const std::filesystem::path staged =
      FsPath(ResolveExistingPath(InProgramFolder(state, "\\Download\\Program\\Tandrel.exe")));
  const std::filesystem::path installed =
      FsPath(ResolveExistingPath(InProgramFolder(state, "\\Tandrel.exe")));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(staged, ec)) return false;
  if (IsReadOnly(installed)) {
    LogLine("the companion program " + Utf8Path(installed) + " is read-only; kept");
    return false;
  }
  if (SameTimeAndSize(staged, installed)) return true;
  // A copy, never a move: the staged file is part of the share other workstations read. The
  // copy replaces the old companion in one rename, so there is never a moment without one.
  try {
    ReplaceFileAtomically(Utf8Path(staged), Utf8Path(installed));
  } catch (const std::exception& e) {
    LogLine("cannot replace " + Utf8Path(installed) + ": " + e.what());
    return false;
  }
  return true;
}

bool ApplyDownloadedFiles(SharedState& state, const std::string& version, std::string* failure) {
  FrmFiles& window = *state.frmFiles;
  window.prgFile.max = 100;
  window.prgFile.value = 100;
  window.lblCaption[0].caption = "최신 프로그램을 적용중입니다.";
  window.lblCaption[1].caption = "잠시만 기다려 주십시요";

  std::vector<std::string> files = window.lstFile.items;
  const size_t count = files.size();
  // 1. Expansion. An archive that does not expand fails the version before anything of it is
  //    placed or recorded.
  for (size_t index = 0; index < count; ++index) {
    std::string& path = files[index];
    ShowApplying(window, path, index, count);
    if (!EndsWithNoCase(path, kArchiveSuffix)) continue;
    std::string why;
    const std::string expanded = ExpandArchive(state, path, &why);
    if (window.unloaded()) {
      return Fail(state, failure, "Cancelled(ApplyDownloadedFiles) " + version,
                  "the agent is exiting; version " + version + " is not applied");
    }
    if (expanded.empty()) {
      return Fail(state, failure, "NotExpanded(ApplyDownloadedFiles) " + why,
                  "version " + version + " is not applied: cannot expand " + why);
    }
    path = expanded;
  }
  // 2. Placement, nothing recorded yet: a file that can neither be placed nor deferred fails
  //    the version.
  std::vector<PlacedFile> placed;
  placed.reserve(count);
  for (size_t index = 0; index < count; ++index) {
    ShowApplying(window, files[index], index, count);
    placed.push_back(PlaceWithoutRecording(state, files[index]));
    const PlacementOutcome outcome = placed.back().outcome;
    if (outcome == PlacementOutcome::kNotPlaced || outcome == PlacementOutcome::kAbsent) {
      return Fail(state, failure, "NotPlaced(PlaceStagedFile) " + files[index],
                  "version " + version + " is not applied: " + files[index] +
                      " can neither be placed nor deferred");
    }
  }
  // 3. The version is whole: every file is recorded, then the version's rows for the other
  //    workstations are written at once. Without them the version is not applied: the next
  //    pass finds its files current and records them again.
  std::vector<std::string> relatives;
  relatives.reserve(count);
  for (size_t index = 0; index < count; ++index) {
    if (placed[index].outcome == PlacementOutcome::kPlaced) {
      RecordPlacement(state, version, placed[index]);
    }
    relatives.push_back(DatabaseRelativePath(state, files[index]));
  }
  if (!RecordVersionFiles(state, version, relatives)) {
    return Fail(state, failure, "NotRecorded(ApplyDownloadedFiles) " + version,
                "version " + version + " is not applied: its files could not be recorded");
  }
  ReplaceCompanionProgram(state);
  window.ShowPercent(100, 100);
  return true;
}

}  // namespace quillmend

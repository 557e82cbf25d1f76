#include "apply/apply_downloaded.h"

#include <filesystem>

#include "apply/placement.h"
#include "apply/staging_paths.h"
#include "db/db_access.h"
#include "net/mod_ftp.h"
#include "platform/cab_expand.h"
#include "platform/file_names.h"
#include "platform/local_time.h"
#include "startup/diagnostics.h"
#include "startup/program_paths.h"
#include "base/text.h"
#include "ui/frm_files.h"

namespace quillmend {
namespace {

constexpr std::string_view kArchiveSuffix = ".CAB";

void RecordVersionFile(SharedState& state, const std::string& version,
                       const std::string& relative) {
  Recordset rs;
  if (QueryWithParams(state, rs, "select 버전 from 버전파일 where 버전 = ? and 파일 = ? ",
                      {"", version, relative})) {
    return;
  }
  try {
    ExecuteWithParams(state, " insert into 버전파일 (버전,파일,일자) values (?,?,?) ",
                      {"", version, relative, FormatDateTime(LocalNow())}, state.g_Connect);
  } catch (const std::exception& e) {
    LogLine("cannot record " + relative + " of version " + version + ": " + e.what());
  }
}

bool IsReadOnly(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec) return false;
  return (status.permissions() & std::filesystem::perms::owner_write) ==
         std::filesystem::perms::none;
}

}  // namespace

std::string ExpandArchive(SharedState& state, const std::string& path) {
  const std::string expanded = path.substr(0, path.size() - kArchiveSuffix.size());
  // An expanded file of an earlier pass must not be placed in place of this archive's content.
  std::error_code ec;
  std::filesystem::remove(FsPath(expanded), ec);
  std::string error;
  const CommandRunner run = [&state](const std::string& command_line) {
    RunAndWait(state, command_line);
  };
  if (!ExpandSingleFileCabinet(path, expanded, run, &error)) {
    LogLine("cannot expand " + error);
    return {};
  }
  return expanded;
}

bool ReplaceCompanionProgram(SharedState& state) {
  const std::filesystem::path staged =
      FsPath(InProgramFolder(state, "\\Download\\Program\\Tandrel.exe"));
  const std::filesystem::path installed = FsPath(InProgramFolder(state, "\\Tandrel.exe"));
  std::error_code ec;
  if (!std::filesystem::is_regular_file(staged, ec)) return false;
  if (IsReadOnly(installed)) {
    LogLine("the companion program " + Utf8Path(installed) + " is read-only; kept");
    return false;
  }
  // A rename over the old copy: there is never a moment without a companion program.
  std::filesystem::rename(staged, installed, ec);
  if (ec) {
    LogLine("cannot replace " + Utf8Path(installed) + ": " + ec.message());
    return false;
  }
  return true;
}

void ApplyDownloadedFiles(SharedState& state, const std::string& version) {
  FrmFiles& window = *state.frmFiles;
  window.prgFile.max = 100;
  window.prgFile.value = 100;
  window.lblCaption[0].caption = "최신 프로그램을 적용중입니다.";
  window.lblCaption[1].caption = "잠시만 기다려 주십시요";

  const std::vector<std::string> files = window.lstFile.items;
  const size_t count = files.size();
  for (size_t index = 0; index < count; ++index) {
    std::string path = files[index];
    window.lblFile.caption = FileNameOf(path) + " 적용중";
    window.lblCounter.caption = std::to_string(index + 1) + "/" + std::to_string(count);
    if (EndsWithNoCase(path, kArchiveSuffix)) {
      ExpandArchive(state, path);
      path = path.substr(0, path.size() - kArchiveSuffix.size());
    }
    PlaceStagedFile(state, version, path);
    RecordVersionFile(state, version, DatabaseRelativePath(state, path));
  }
  ReplaceCompanionProgram(state);
  window.ShowPercent(100, 100);
}

}  // namespace quillmend

#include "workstation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "db/version_bookkeeping.h"
#include "platform/components.h"
#include "platform/file_names.h"
#include "support/host_paths.h"
#include "support/sqlite_fixtures.h"
#include "base/text.h"

namespace quillmend::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (const std::string& line : SplitText(ReplaceAll(text, "\r", ""), "\n")) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

Workstation::Workstation(std::vector<bool> answers)
    : host(std::move(answers), false), window(state, host) {
  UseProjectOdbc();
  state.program_folder_ = folder.Sub("Orvel");
  state.g_SystemFolder = folder.Sub("Windows/System32");
  fs::create_directories(FsPath(state.program_folder_));
  fs::create_directories(FsPath(state.g_SystemFolder));
  state.ui_ = &host;
  state.frmFiles = &window;
  state.g_CustomerCode = "C1001";
  state.g_HostName = "WS01";
  state.g_LocalIP = "10.1.2.3";
  clinic_db = folder.Sub("clinic.db");
  CreateClinicDatabase(clinic_db);
  state.g_Connect = OpenSqliteFile(clinic_db);
  CreateVersionTables(state);
  register_log = folder.Sub("registered.log");
  SetEnvironment("QM_REGISTER_LOG", register_log);
  InstallRegistrationRecorder(*this);
}

Workstation::~Workstation() { SetEnvironment("QM_REGISTER_LOG", ""); }

std::string Workstation::Program(const std::string& relative) const {
  return JoinedPath(state.program_folder_, relative);
}

std::string Workstation::System(const std::string& relative) const {
  return JoinedPath(state.g_SystemFolder, relative);
}

std::string Workstation::Stage(const std::string& relative, const std::string& bytes) {
  const std::string path = Program("download/" + relative);
  Write(path, bytes);
  return path;
}

void Workstation::Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(FsPath(path).parent_path());
  WriteFileBytes(path, bytes);
}

void Workstation::ShiftTime(const std::string& path, std::chrono::hours offset) {
  const fs::path p = FsPath(path);
  fs::last_write_time(p, fs::last_write_time(p) + offset);
}

void Workstation::GoOnline() {
  crm_db = folder.Sub("crm.db");
  CreateCrmDatabase(crm_db);
  state.g_Connect2 = OpenSqliteFile(crm_db);
  state.g_Online = true;
}

std::vector<std::string> Workstation::OfflineRecords() const {
  return QuerySqlite(clinic_db,
                     "select 버전, 프로그램명, 프로그램버전, 상태 from 버전파일개별 order by rowid");
}

std::vector<std::string> Workstation::OnlineRecords() const {
  return QuerySqlite(crm_db,
                     "select 버전, 프로그램명, 프로그램버전, 상태 from 오르벨거래처버전 order by rowid");
}

std::vector<std::string> Workstation::VersionFileRows() const {
  return QuerySqlite(clinic_db, "select 버전, 파일 from 버전파일 order by rowid");
}

std::string Workstation::FailureLog() const {
  const std::string path = Program("Server.ini");
  return FileExists(path) ? ReadFileBytes(path) : "";
}

std::vector<std::string> Workstation::RegisteredTargets(size_t count) const {
  std::vector<std::string> lines;
  for (int wait = 0; wait < 200; ++wait) {
    lines = FileExists(register_log) ? Lines(ReadFileBytes(register_log)) : lines;
    if (lines.size() >= count) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // A registration that should not have happened would have been started before the awaited
  // ones; give a straggler a moment to show up.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  return FileExists(register_log) ? Lines(ReadFileBytes(register_log)) : lines;
}

}  // namespace quillmend::testing

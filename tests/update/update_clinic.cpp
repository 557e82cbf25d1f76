#include "update_clinic.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "../apply/cab_fixtures.h"
#include "db/db_access.h"
#include "db/local_tables.h"
#include "db/version_bookkeeping.h"
#include "platform/file_names.h"
#include "startup/profile_file.h"
#include "startup/settings.h"
#include "base/text.h"
#include "support/host_paths.h"

namespace quillmend::testing {
namespace {

namespace fs = std::filesystem;

// The CRM connection names its database file relative to the current folder, which is the
// program folder. Under Wine the database engine runs in the host process, whose current folder
// stays the one the test started in: the file is made there, replacing an earlier test's.
std::string CrmFolder(const std::string& program_folder) {
  static const std::string started_in = Utf8Path(fs::current_path());
  if (!HostEnvironmentIsFixed()) return program_folder;
  fs::remove(FsPath(started_in + PathSeparator() + "CRM"));
  return started_in;
}

}  // namespace

UpdateClinic::UpdateClinic(std::vector<bool> answers, const std::string& installed)
    : host(std::move(answers), false), window(state, host) {
  UseProjectOdbc();
  SetEnvironment("QUILLMEND_ONLINE", "1");
  state.program_folder_ = folder.Sub("Orvel");
  state.g_SystemFolder = folder.Sub("system");
  state.g_DownloadPath = state.program_folder_ + PathSeparator() + "download" + PathSeparator();
  fs::create_directories(FsPath(state.program_folder_));
  fs::create_directories(FsPath(state.g_SystemFolder));
  fs::create_directories(FsPath(FtpRoot()));
  state.ui_ = &host;
  state.frmFiles = &window;
  state.g_HostName = "WS01";
  state.g_LocalIP = "10.1.2.3";

  clinic_db = folder.Sub("clinic.db");
  ClinicSettings settings;
  settings.customer_code = kCustomer;
  settings.version = installed;
  CreateClinicDatabase(clinic_db, settings);
  WriteClinicDbSettings(state.program_folder_, clinic_db);
  WriteProfileValue(Program("ORVEL_H.ini"), "Version", "Last", installed);
  crm_db = CreateProgramFolderCrm(CrmFolder(state.program_folder_));
  current_ = std::make_unique<CurrentFolder>(state.program_folder_);
  // What start-up does before the first pass: the clinic database, its dialect and the local
  // version tables.
  OpenLocalDatabase(state);
  ProbeDatabaseDialect(state);
  CreateVersionTables(state);
  runner = std::make_unique<UpdatePassRunner>(state, window);
  window.SetPasses(runner.get());
}

UpdateClinic::~UpdateClinic() {
  server_.reset();
  runner.reset();
  SetEnvironment("QUILLMEND_ONLINE", "");
}

void UpdateClinic::Publish(const std::string& version, const std::vector<PublishedFile>& files,
                           const std::vector<std::string>& list_names) {
  std::vector<std::string> names = list_names;
  for (const PublishedFile& file : files) {
    const std::string source = folder.Sub("sources/" + version + "/" + file.name);
    WriteFileBytes(source, file.bytes);
    // Archives keep times to two seconds: each published version's files get their own hour, so
    // that a later version's file is seen as different from the one it replaces.
    fs::last_write_time(FsPath(source), fs::last_write_time(FsPath(source)) -
                                            std::chrono::hours(24) +
                                            std::chrono::hours(++published_));
    const std::string cab =
        JoinedPath(FtpRoot(), "orvel/" + version + "/" + file.subfolder + "/" + file.name + ".cab");
    fs::create_directories(FsPath(cab).parent_path());
    MakeCab(cab, {source});
    if (list_names.empty()) names.push_back(file.name + ".cab");
  }
  PublishVersion(crm_db, kCustomer, version, names);
}

void UpdateClinic::Serve(FtpServerKind kind, const std::vector<std::string>& misbehave) {
  FtpServerOptions options;
  options.root = FtpRoot();
  options.misbehave = misbehave;
  server_ = FtpServer::Start(kind, options);
  ExecSqlite(crm_db, {"delete from 오르벨버전서버"});
  AddFtpServerRow(crm_db, kCustomer, "127.0.0.1/orvel", server_->port_text(), server_->user(),
                  server_->password(), "", "");
}

std::string UpdateClinic::Program(const std::string& relative) const {
  return JoinedPath(state.program_folder_, relative);
}

std::string UpdateClinic::System(const std::string& relative) const {
  return JoinedPath(state.g_SystemFolder, relative);
}

std::string UpdateClinic::LastVersion() const { return GetLastVersion(state); }

std::vector<std::string> UpdateClinic::VersionFileRows() const {
  return QuerySqlite(clinic_db, "select 버전, 파일 from 버전파일 order by rowid");
}

std::vector<std::string> UpdateClinic::CustomerVersionRows() const {
  return QuerySqlite(crm_db, "select 버전, 프로그램명, 상태 from 오르벨거래처버전 order by rowid");
}

std::vector<std::string> UpdateClinic::SupportReceipts() const {
  return QuerySqlite(crm_db, "select 접수번호 from 고객지원기록 order by rowid");
}

std::vector<std::string> UpdateClinic::SupportTexts() const {
  return QuerySqlite(crm_db, "select 처리내용 from 고객지원기록 order by rowid");
}

std::vector<std::string> UpdateClinic::OfflineRows() const {
  return QuerySqlite(clinic_db,
                     "select 버전, 프로그램명, 상태, 전송여부 from 버전파일개별 order by rowid");
}

std::string UpdateClinic::ProductVersion() const {
  const auto rows = QuerySqlite(
      clinic_db, "select 문자내용 from 시스템환경일자별 where 기타내용 = 'syssVersionno'");
  return rows.empty() ? "" : rows.front();
}

std::string UpdateClinic::FailureLog() const {
  const std::string path = Program("Server.ini");
  return FileExists(path) ? ReadFileBytes(path) : "";
}

}  // namespace quillmend::testing

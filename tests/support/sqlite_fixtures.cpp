#include "support/sqlite_fixtures.h"

#include <clocale>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "db/db_access.h"
#include "db/sqlite_dialect.h"
#include "platform/file_names.h"
#include "platform/system_info.h"
#include "startup/settings.h"
#include "support/host_paths.h"
#include "support/temp_folder.h"

#ifndef QUILLMEND_TEST_ODBCSYSINI
#define QUILLMEND_TEST_ODBCSYSINI ""
#endif

namespace quillmend::testing {
namespace {

std::string Lit(const std::string& value) { return SqliteLiteral(value); }

std::string LitOrNull(const std::string& value) {
  return value.empty() ? std::string("NULL") : SqliteLiteral(value);
}

// The data sources this process registered (rewritten as a whole on every change).
std::map<std::string, std::string>& DataSources() {
  static std::map<std::string, std::string> sources;
  return sources;
}

void WriteDataSources() {
  std::string text;
  for (const auto& [name, body] : DataSources()) text += "[" + name + "]\n" + body + "\n";
  WriteFileBytes(LocalPathOfHost(GetEnvironment("ODBCINI")), text);
}

}  // namespace

void UseProjectOdbc() {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  if (GetEnvironment("ODBCSYSINI").empty()) {
    std::string folder = GetEnvironment("QUILLMEND_SOURCE_DIR");
    folder = folder.empty() ? std::string(QUILLMEND_TEST_ODBCSYSINI) : folder + "/src/db/sqlite";
    SetEnvironment("ODBCSYSINI", folder);
  }
  if (GetEnvironment("ODBCINI").empty()) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("qm-odbc-" + std::to_string(CurrentProcessId()) + ".ini");
    SetEnvironment("ODBCINI", HostPathOf(Utf8Path(file)));
  }
  if (HostEnvironmentIsFixed() && GetEnvironment("ODBCSYSINI").empty()) {
    throw std::runtime_error("ODBCSYSINI must be set before the test process starts");
  }
}

std::string DriverPath(const std::string& path) { return HostPathOf(path); }

std::string NewDataSourceName() {
  static int counter = 0;
  return "QmSource" + std::to_string(CurrentProcessId()) + "x" + std::to_string(++counter);
}

std::string RegisterSqliteDsn(const std::string& database_file) {
  UseProjectOdbc();
  const std::string name = NewDataSourceName();
  DataSources()[name] = "Driver=SQL Server\nDatabase=" + DriverPath(database_file) + "\n";
  WriteDataSources();
  return name;
}

std::string RegisterBrokenDsn() {
  UseProjectOdbc();
  const std::string name = NewDataSourceName();
  DataSources()[name] = "Driver=/nonexistent/quillmend/libnodriver.so\n";
  WriteDataSources();
  return name;
}

std::shared_ptr<DbConnection> OpenSqliteFile(const std::string& path) {
  UseProjectOdbc();
  auto connection = std::make_shared<DbConnection>();
  connection->Open("driver={SQL Server};database=" + DriverPath(path));
  return connection;
}

void ExecSqlite(const std::string& path, const std::vector<std::string>& statements) {
  // The connection opens only databases that exist: a new one starts as an empty file.
  if (!FileExists(path)) WriteFileBytes(path, "");
  auto connection = OpenSqliteFile(path);
  for (const std::string& sql : statements) connection->ExecuteNative(sql);
}

std::vector<std::string> QuerySqlite(const std::string& path, const std::string& sql) {
  auto connection = OpenSqliteFile(path);
  Recordset rs = connection->QueryNative(sql);
  std::vector<std::string> rows;
  for (; !rs.eof(); rs.MoveNext()) {
    std::string row;
    for (size_t i = 0; i < rs.columns().size(); ++i) {
      if (i > 0) row += "|";
      row += rs.IsNull(i) ? std::string("<null>") : rs.Text(i);
    }
    rows.push_back(row);
  }
  return rows;
}

void CreateClinicDatabase(const std::string& path, const ClinicSettings& settings) {
  ExecSqlite(path, {"CREATE TABLE 시스템환경일자별 (기타내용 varchar(50), 문자내용 varchar(255), "
                    "날짜내용 datetime, 요양기관기호 varchar(20))",
                    "CREATE TABLE 요양기관기호 (요양기관기호 varchar(20))",
                    "INSERT INTO 요양기관기호 VALUES (" + Lit(settings.institution) + ")"});
  if (!settings.customer_code.empty()) {
    AddSettingRow(path, "syss거래처코드", settings.customer_code, settings.date,
                  settings.institution);
  }
  if (!settings.version.empty()) {
    AddSettingRow(path, "syssVersionno", settings.version, settings.date, settings.institution);
  }
}

void AddSettingRow(const std::string& path, const std::string& name, const std::string& value,
                   const std::string& date, const std::string& institution) {
  ExecSqlite(path, {"INSERT INTO 시스템환경일자별 VALUES (" + Lit(name) + ", " + Lit(value) + ", " +
                    Lit(date) + ", " + Lit(institution) + ")"});
}

void WriteClinicDbSettings(const std::string& program_folder, const std::string& database_file) {
  const std::string ini = program_folder + PathSeparator() + "ORVEL_H.ini";
  WriteIniValue(ini, "DB", "SERVER", "local");
  WriteIniValue(ini, "DB", "DBNAME", DriverPath(database_file));
}

void WriteClinicDsnSettings(const std::string& program_folder, const std::string& dsn) {
  const std::string ini = program_folder + PathSeparator() + "ORVEL_H.ini";
  WriteIniValue(ini, "DB", "DSN", dsn);
}

void CreateCrmDatabase(const std::string& path) {
  ExecSqlite(path,
             {"CREATE TABLE 오르벨버전관리 (버전 varchar(50), 고객번호 varchar(50), 가능 varchar(1))",
              "CREATE TABLE 오르벨버전파일 (버전 varchar(50), 파일 varchar(200))",
              "CREATE TABLE 오르벨버전서버 (고객번호 varchar(50), 경로 varchar(255), 포트 varchar(10), "
              "아이디 varchar(50), 패스 varchar(50), 시간 int, 분 int)",
              "CREATE TABLE 오르벨거래처버전 (고객번호 varchar(50), 버전 varchar(50), 이름 varchar(50), "
              "ip varchar(50), 프로그램명 varchar(50), 프로그램버전 varchar(50), 상태 varchar(50), "
              "일자 varchar(50))",
              "CREATE TABLE 고객지원기록 (접수번호 varchar(13), 접수일자 varchar(10), 접수시간 varchar(5), "
              "접수자 varchar(20), 고객번호 varchar(50), 우선순위 varchar(1), 처리방법 varchar(1), "
              "요구사항 varchar(500), 처리내용 varchar(500), 처리자 varchar(20), 처리일자 varchar(10), "
              "처리시작시간 varchar(5), 처리완료시간 varchar(5), 처리여부 varchar(1), "
              "프로그램명 varchar(50))",
              "CREATE TABLE 고객요구처리코드 (접수번호 varchar(13), 최종번호 int, 요구처리구분 varchar(1), "
              "코드1 varchar(50), 코드2 varchar(50), 코드3 varchar(50), 코드4 varchar(50))"});
}

void PublishVersion(const std::string& crm_path, const std::string& customer,
                    const std::string& version, const std::vector<std::string>& files,
                    const std::string& available) {
  std::vector<std::string> statements = {"INSERT INTO 오르벨버전관리 VALUES (" + Lit(version) +
                                         ", " + Lit(customer) + ", " + Lit(available) + ")"};
  for (const std::string& file : files) {
    statements.push_back("INSERT INTO 오르벨버전파일 VALUES (" + Lit(version) + ", " + Lit(file) +
                         ")");
  }
  ExecSqlite(crm_path, statements);
}

void AddFtpServerRow(const std::string& crm_path, const std::string& customer,
                     const std::string& path, const std::string& port, const std::string& user,
                     const std::string& password, const std::string& hours,
                     const std::string& minutes) {
  ExecSqlite(crm_path, {"INSERT INTO 오르벨버전서버 VALUES (" + Lit(customer) + ", " + Lit(path) +
                        ", " + LitOrNull(port) + ", " + Lit(user) + ", " + Lit(password) + ", " +
                        LitOrNull(hours) + ", " + LitOrNull(minutes) + ")"});
}

std::string CreateProgramFolderCrm(const std::string& program_folder) {
  const std::string path = program_folder + PathSeparator() + "CRM";
  CreateCrmDatabase(path);
  return path;
}

CurrentFolder::CurrentFolder(const std::string& folder) {
  std::error_code ec;
  previous_ = Utf8Path(std::filesystem::current_path(ec));
  std::filesystem::current_path(FsPath(folder));
}

CurrentFolder::~CurrentFolder() {
  std::error_code ec;
  std::filesystem::current_path(FsPath(previous_), ec);
}

}  // namespace quillmend::testing

namespace quillmend::testing {

bool RelativeDatabaseNamesFollowCurrentFolder() { return !HostEnvironmentIsFixed(); }

}  // namespace quillmend::testing

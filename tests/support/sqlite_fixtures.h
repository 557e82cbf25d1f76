// SQLite databases for tests, reached through the real ODBC stack with the project's driver
// registry: a clinic database with the product tables, a CRM with the catalogue and FTP
// settings tables, data sources, and the settings files that point the agent at them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/db_connection.h"

namespace quillmend::testing {

// Makes this process use the project's ODBC driver registry: sets LC_CTYPE to C.UTF-8,
// ODBCSYSINI to the project's folder and ODBCINI to a per-process data-source file, unless the
// environment already names them (under Wine the launcher must: the host's unixODBC reads the
// environment the process started with). Idempotent; call before the first connection.
void UseProjectOdbc();

// path (a file of this process) as the host's ODBC driver must name it: the same path natively,
// the host path under Wine.
std::string DriverPath(const std::string& path);

// Registers a new data source for the SQLite file database_file (driver "SQL Server") in the
// per-process data-source file and returns its name. Names are never reused: the driver manager
// caches what it read about a name for 20 seconds.
std::string RegisterSqliteDsn(const std::string& database_file);
// Registers a new data source whose driver does not exist and returns its name.
std::string RegisterBrokenDsn();

// An open connection to the SQLite file path ("driver={SQL Server};database=..."); a missing
// file fails the open, as for the agent. Statements sent through ExecuteNative are plain SQLite.
std::shared_ptr<DbConnection> OpenSqliteFile(const std::string& path);
// Runs plain SQLite statements on the file, in order; a missing file is created first.
void ExecSqlite(const std::string& path, const std::vector<std::string>& statements);
// The rows of a plain SQLite query, each row's values joined by "|" (NULL as "<null>").
std::vector<std::string> QuerySqlite(const std::string& path, const std::string& sql);

// The product's settings of a clinic database.
struct ClinicSettings {
  std::string date = "2024-03-05";     // 날짜내용 of the settings rows (the latest date)
  std::string institution = "11100001";  // 요양기관기호 of the clinic
  std::string customer_code = "C1001";   // "syss거래처코드"; empty: no row
  std::string version = "7.5.12";        // "syssVersionno"; empty: no row
};
// Creates the clinic database file with 시스템환경일자별 (기타내용, 문자내용, 날짜내용 datetime,
// 요양기관기호) and 요양기관기호 (요양기관기호), holding the settings rows of settings.
void CreateClinicDatabase(const std::string& path, const ClinicSettings& settings = {});
// Adds one 시스템환경일자별 row (날짜내용 "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss").
void AddSettingRow(const std::string& path, const std::string& name, const std::string& value,
                   const std::string& date, const std::string& institution);

// Writes [DB] of "ORVEL_H.ini" in program_folder for the DSN-less form naming the SQLite file
// (SERVER=local, DBNAME=the file), or, with dsn set, for the data-source form (no SERVER).
void WriteClinicDbSettings(const std::string& program_folder, const std::string& database_file);
void WriteClinicDsnSettings(const std::string& program_folder, const std::string& dsn);

// Creates the CRM database file with the catalogue (오르벨버전관리 with 가능, 오르벨버전파일),
// 오르벨버전서버 and the reported tables (오르벨거래처버전, 고객지원기록, 고객요구처리코드).
void CreateCrmDatabase(const std::string& path);
// Publishes version to customer (가능 = available) with the given file rows.
void PublishVersion(const std::string& crm_path, const std::string& customer,
                    const std::string& version, const std::vector<std::string>& files,
                    const std::string& available = "Y");
// Adds the customer's FTP settings row; empty texts are stored as NULL for 포트, 시간 and 분.
void AddFtpServerRow(const std::string& crm_path, const std::string& customer,
                     const std::string& path, const std::string& port, const std::string& user,
                     const std::string& password, const std::string& hours,
                     const std::string& minutes);
// The CRM as the agent finds it: the file "CRM" in program_folder (the connection string's
// database=CRM is opened in the current folder, which the agent makes the program folder).
// Returns the file's path.
std::string CreateProgramFolderCrm(const std::string& program_folder);

// Makes folder the current folder for the guard's life.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder);
  ~CurrentFolder();
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::string previous_;
};

}  // namespace quillmend::testing

namespace quillmend::testing {

// Whether the host's ODBC driver opens a relative database name (the CRM string's
// database=CRM) in this process's current folder. Not under Wine: the host process keeps the
// folder it was started in, whatever the Windows current folder is.
bool RelativeDatabaseNamesFollowCurrentFolder();
// Why not, for skip messages.
inline constexpr const char* kRelativeDatabaseNamesSkip =
    "under Wine the host's SQLite driver opens database=CRM in the folder Wine was started in, "
    "not in the Windows current folder";

}  // namespace quillmend::testing

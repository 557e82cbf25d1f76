#include "clinic_sandbox.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "child_process.h"
#include "db/sqlite_dialect.h"
#include "platform/file_names.h"
#include "startup/settings.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"

namespace quillmend::sandbox {
namespace {

namespace fs = std::filesystem;
using testing::JoinedPath;

// Inserts rows into a table of the SQLite file in statements of a few hundred rows each, with
// the journal kept in memory: publishing thousands of file rows one statement at a time would
// wait for the disk thousands of times.
void InsertRows(const std::string& database, const std::string& table,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::string> statements = {"PRAGMA synchronous = OFF"};
  constexpr size_t kRowsPerStatement = 400;
  for (size_t first = 0; first < rows.size(); first += kRowsPerStatement) {
    std::string sql = "INSERT INTO " + table + " VALUES ";
    for (size_t i = first; i < rows.size() && i < first + kRowsPerStatement; ++i) {
      sql += i == first ? "(" : ", (";
      for (size_t c = 0; c < rows[i].size(); ++c) {
        sql += (c == 0 ? "" : ", ") + SqliteLiteral(rows[i][c]);
      }
      sql += ")";
    }
    statements.push_back(sql);
  }
  testing::ExecSqlite(database, statements);
}

void PublishRows(const SandboxLayout& layout, const std::string& version,
                 const std::vector<std::string>& names) {
  if (names.empty()) throw std::runtime_error("version " + version + " has no files");
  InsertRows(layout.crm_db, "오르벨버전관리", {{version, kCustomer, "Y"}});
  std::vector<std::vector<std::string>> rows;
  for (const std::string& name : names) rows.push_back({version, name});
  InsertRows(layout.crm_db, "오르벨버전파일", rows);
}

}  // namespace

SandboxLayout::SandboxLayout(const std::string& root_folder)
    : root(Utf8Path(fs::absolute(FsPath(root_folder)).lexically_normal())) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  program_folder = JoinedPath(root, "Orvel");
  system_folder = JoinedPath(root, "system");
  clinic_db = JoinedPath(root, "clinic.db");
  crm_db = JoinedPath(program_folder, "CRM");
  ftp_root = JoinedPath(root, "ftp");
  settings_file = JoinedPath(program_folder, "ORVEL_H.ini");
  agent_settings = JoinedPath(program_folder, "quillmend.ini");
  register_log = JoinedPath(root, "registered.log");
}

std::string SandboxLayout::VersionFolder(const std::string& version) const {
  return JoinedPath(JoinedPath(ftp_root, kFtpFolder), version);
}

void CreateClinic(const SandboxLayout& layout, const ClinicOptions& options) {
  std::error_code ec;
  if (fs::exists(FsPath(layout.program_folder), ec)) {
    throw std::runtime_error(layout.root + " already holds a sandbox clinic");
  }
  for (const std::string& folder : {layout.program_folder, layout.system_folder,
                                    JoinedPath(layout.ftp_root, kFtpFolder)}) {
    fs::create_directories(FsPath(folder));
  }
  testing::UseProjectOdbc();

  testing::ClinicSettings clinic;
  clinic.customer_code = kCustomer;
  clinic.version = options.installed_version;
  testing::CreateClinicDatabase(layout.clinic_db, clinic);
  testing::WriteClinicDbSettings(layout.program_folder, layout.clinic_db);
  WriteIniValue(layout.settings_file, "Version", "Last", options.installed_version);
  WriteIniValue(layout.settings_file, "백업", "Ostrel", "N");
  testing::CreateProgramFolderCrm(layout.program_folder);

  WriteIniValue(layout.agent_settings, "Platform", "SystemFolder", layout.system_folder);
  WriteIniValue(layout.agent_settings, "Platform", "RegisterCommand", options.register_command);
  WriteIniValue(layout.agent_settings, "Platform", "NotesCommand", "");

  if (!options.main_screen_program.empty()) {
    const fs::path target = FsPath(JoinedPath(layout.program_folder, "Velmont.exe"));
    fs::copy_file(FsPath(options.main_screen_program), target,
                  fs::copy_options::overwrite_existing);
  }
}

void PublishVersion(const SandboxLayout& layout, const std::string& version,
                    const std::vector<PublishedFile>& files) {
  const std::string sources = JoinedPath(JoinedPath(layout.root, "sources"), version);
  std::vector<std::string> names;
  for (const PublishedFile& file : files) {
    const std::string source = JoinedPath(JoinedPath(sources, file.subfolder), file.name);
    WriteBytes(source, file.bytes);
    const std::string folder = JoinedPath(layout.VersionFolder(version), file.subfolder);
    fs::create_directories(FsPath(folder));
    MakeCab(JoinedPath(folder, file.name + ".cab"), source);
    names.push_back(file.name + ".cab");
  }
  PublishRows(layout, version, names);
}

size_t PublishExistingFolder(const SandboxLayout& layout, const std::string& version,
                             const std::string& version_folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(FsPath(version_folder))) {
    if (entry.is_regular_file()) names.push_back(Utf8Path(entry.path().filename()));
  }
  PublishRows(layout, version, names);
  return names.size();
}

void PointAtFtpServer(const SandboxLayout& layout, const std::string& port) {
  if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos) {
    throw std::runtime_error("not a port number: " + port);
  }
  testing::ExecSqlite(layout.crm_db, {"DELETE FROM 오르벨버전서버"});
  testing::AddFtpServerRow(layout.crm_db, kCustomer, std::string("127.0.0.1/") + kFtpFolder, port,
                           kFtpUser, kFtpPassword, "", "");
}

void MakeCab(const std::string& cab_path, const std::string& source) {
  ChildOptions quiet;
  quiet.stdout_file = "/dev/null";
  if (RunProgram({"gcab", "-c", "-z", "-n", cab_path, source}, quiet) != 0) {
    throw std::runtime_error("gcab could not make " + cab_path);
  }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  const fs::path target = FsPath(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace quillmend::sandbox

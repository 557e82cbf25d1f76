#include "sandbox_report.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/file_names.h"
#include "startup/settings.h"
#include "base/text.h"
#include "support/sqlite_fixtures.h"

namespace quillmend::sandbox {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Rows(const std::string& database, const std::string& sql) {
  return testing::QuerySqlite(database, sql);
}

// The clinic's 버전파일 tables are made by the agent at its first start: before that, a query
// of them has no rows to show.
bool HasTable(const std::string& database, const std::string& table) {
  return !Rows(database, "SELECT name FROM sqlite_master WHERE name = '" + table + "'").empty();
}

void Block(std::ostream& out, const std::string& title, const std::vector<std::string>& lines,
           const std::string& empty_text = "(none)") {
  out << "-- " << title << "\n";
  if (lines.empty()) out << "   " << empty_text << "\n";
  for (const std::string& line : lines) out << "   " << line << "\n";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::string line : SplitText(text, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string FileText(const std::string& path) {
  std::error_code ec;
  return fs::exists(FsPath(path), ec) ? ReadBytes(path) : "";
}

// A query of a missing database file would create it: say plainly that there is no sandbox.
void RequireSandbox(const SandboxLayout& layout) {
  std::error_code ec;
  for (const std::string& file : {layout.clinic_db, layout.crm_db}) {
    if (!fs::is_regular_file(FsPath(file), ec)) {
      throw std::runtime_error(layout.root + " holds no sandbox clinic (" + file + " is missing)");
    }
  }
}

}  // namespace

InstalledSummary Summarize(const SandboxLayout& layout) {
  RequireSandbox(layout);
  testing::UseProjectOdbc();
  InstalledSummary summary;
  summary.last_version = ReadIniValue(layout.settings_file, "Version", "Last", "1.0");
  const auto product = Rows(layout.clinic_db,
                            "SELECT 문자내용 FROM 시스템환경일자별 WHERE 기타내용 = 'syssVersionno' "
                            "ORDER BY 날짜내용 DESC, rowid DESC LIMIT 1");
  summary.product_version = product.empty() ? "" : product.front();
  if (HasTable(layout.clinic_db, "버전파일")) {
    summary.applied_rows = Rows(layout.clinic_db, "SELECT 버전 FROM 버전파일").size();
  }
  summary.crm_version_rows = Rows(layout.crm_db, "SELECT 버전 FROM 오르벨거래처버전").size();
  summary.support_records = Rows(layout.crm_db, "SELECT 접수번호 FROM 고객지원기록").size();
  return summary;
}

std::vector<std::string> ListFiles(const std::string& folder, bool skip_staging) {
  std::vector<std::string> files;
  std::error_code ec;
  const fs::path root = FsPath(folder);
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(root);
    if (skip_staging && it.depth() == 0 && it->is_directory()) {
      const std::string name = ToUpperAscii(Utf8Path(relative));
      if (name == "DOWNLOAD" || name == "NEWUPDATE") {
        it.disable_recursion_pending();
        continue;
      }
    }
    if (!it->is_regular_file()) continue;
    files.push_back(Utf8Path(relative) + "  (" + std::to_string(it->file_size()) + " bytes)");
  }
  std::sort(files.begin(), files.end());
  return files;
}

void PrintReport(const SandboxLayout& layout, std::ostream& out) {
  const InstalledSummary summary = Summarize(layout);
  out << "-- [Version] Last of ORVEL_H.ini: " << summary.last_version << "\n";
  out << "-- product version (syssVersionno): " << summary.product_version << "\n";
  Block(out, "program folder " + layout.program_folder, ListFiles(layout.program_folder, true));
  Block(out, "system folder " + layout.system_folder, ListFiles(layout.system_folder, false));
  Block(out, "staged downloads (download)",
        ListFiles(Utf8Path(FsPath(ResolveExistingPath(layout.program_folder + "/download"))),
                  false));
  Block(out, "pending files (newupdate)",
        ListFiles(Utf8Path(FsPath(ResolveExistingPath(layout.program_folder + "/newupdate"))),
                  false));
  const bool has_tables = HasTable(layout.clinic_db, "버전파일");
  Block(out, "clinic 버전파일 (버전|파일|일자)",
        has_tables ? Rows(layout.clinic_db, "SELECT 버전, 파일, 일자 FROM 버전파일 ORDER BY rowid")
                   : std::vector<std::string>{},
        has_tables ? "(none)" : "(not created yet)");
  if (has_tables && HasTable(layout.clinic_db, "버전파일개별")) {
    Block(out, "clinic 버전파일개별, waiting for the CRM (버전|프로그램명|상태|전송여부)",
          Rows(layout.clinic_db,
               "SELECT 버전, 프로그램명, 상태, 전송여부 FROM 버전파일개별 ORDER BY rowid"));
  }
  Block(out, "CRM 오르벨거래처버전 (고객번호|버전|이름|ip|프로그램명|프로그램버전|상태|일자)",
        Rows(layout.crm_db, "SELECT * FROM 오르벨거래처버전 ORDER BY rowid"));
  Block(out, "CRM 고객지원기록 (접수번호|접수일자|접수시간|접수자|고객번호|요구사항|처리내용|처리여부)",
        Rows(layout.crm_db,
             "SELECT 접수번호, 접수일자, 접수시간, 접수자, 고객번호, 요구사항, 처리내용, 처리여부 "
             "FROM 고객지원기록 ORDER BY rowid"));
  Block(out, "CRM 고객요구처리코드 (접수번호|최종번호|요구처리구분|코드1|코드2|코드3|코드4)",
        Rows(layout.crm_db, "SELECT * FROM 고객요구처리코드 ORDER BY rowid"));
  Block(out, "controls registered", Lines(FileText(layout.register_log)));
  Block(out, "failure log (Server.ini)",
        Lines(FileText(ResolveExistingPath(layout.program_folder + "/Server.ini"))), "(empty)");
}

}  // namespace quillmend::sandbox

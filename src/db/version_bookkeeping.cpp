// Which version a workstation runs: the version a pass starts from, the product's recorded
// version, and the local rows of applied programs.
#include "db/version_bookkeeping.h"

#include "crm/crm_reporting.h"
#include "db/db_access.h"
#include "db/local_tables.h"
#include "db/version_order.h"
#include "platform/local_time.h"
#include "startup/diagnostics.h"
#include "startup/settings.h"
#include "startup/text.h"

namespace quillmend {
namespace {

std::string FirstPart(const std::string& version) { return SplitText(version, ".").front(); }

// Compares two texts of decimal digits as numbers: negative, zero or positive. nullopt when
// either is not a plain number (such a major part is not comparable).
std::optional<int> CompareNumbers(const std::string& a, const std::string& b) {
  auto digits = [](const std::string& text) -> std::optional<std::string> {
    std::string t = TrimBlanks(text);
    if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const size_t first = t.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : t.substr(first);
  };
  const auto x = digits(a);
  const auto y = digits(b);
  if (!x || !y) return std::nullopt;
  if (x->size() != y->size()) return x->size() < y->size() ? -1 : 1;
  return x->compare(*y);
}

}  // namespace

std::string ProductVersionAtLeastQuery(const std::string& last) {
  return std::string("select 문자내용 from  시스템환경일자별  where 기타내용='syssVersionno' ") +
         " and 날짜내용 = (select max(날짜내용) from 시스템환경일자별) " + " and 문자내용 >= '" +
         SqlQuoted(last) + "'";
}

std::string ProductVersionUpdate(const std::string& last) {
  return "Update 시스템환경일자별 set 문자내용 ='" + SqlQuoted(last) +
         "' where 기타내용='syssVersionno' " +
         " and 날짜내용 = (select max(날짜내용) from 시스템환경일자별)";
}

void GetInstalledVersion(SharedState& state) {
  Recordset rs;
  if (OpenRecordset(state, rs, InstalledVersionQuery())) state.g_InstalledVersion = rs.Text(0);
  const std::string last = GetLastVersion(state);
  if (last < state.g_InstalledVersion) {
    state.g_InstalledVersion = last;
  } else if (!last.empty() && !state.g_InstalledVersion.empty()) {
    const std::string last_major = FirstPart(last);
    const std::string installed_major = FirstPart(state.g_InstalledVersion);
    if (!last_major.empty() && !installed_major.empty()) {
      const auto order = CompareNumbers(last_major, installed_major);
      if (order && *order < 0) state.g_InstalledVersion = last;
    }
  }
  rs.Close();
  GetCustomerCode(state);
}

void UpdateProductVersion(SharedState& state) {
  const std::string last = GetLastVersion(state);
  if (TrimBlanks(last).empty()) return;
  const std::vector<std::string> last_parts = SplitText(last, ".");
  bool update = false;
  try {
    Recordset rs;
    if (!OpenRecordset(state, rs, ProductVersionAtLeastQuery(last))) {
      update = true;
    } else {
      const std::vector<std::string> db_parts = SplitText(rs.Text("문자내용"), ".");
      update = last_parts.front().size() == 3 && db_parts.front().size() == 2;
    }
  } catch (const std::exception&) {
    // Whether the recorded version is older cannot be told; it is left as it is.
  }
  if (update) {
    try {
      ExecuteStatement(state, ProductVersionUpdate(last), state.g_Connect);
    } catch (const std::exception&) {
    }
  }
  AddSupportRecord(state, "Ver " + last + " 업데이트 완료");
}

bool IsNewerThanInstalled(const SharedState& state, const std::string& version) {
  const std::string installed = GetLastVersion(state);
  if (IsNewerVersion(version, installed)) return true;
  LogLine("version " + version + " passed over: it is not newer than the installed " + installed);
  return false;
}

void AddVersionFileRecord(SharedState& state, const std::string& version,
                          const std::string& program_name, const std::string& program_version,
                          const std::string& state_text) {
  const ParamList parameters = {"",
                                state.g_CustomerCode,
                                version,
                                state.g_HostName,
                                state.g_LocalIP,
                                program_name,
                                program_version,
                                state_text,
                                FormatDateTime(LocalNow()),
                                "N"};
  ExecuteWithParams(state,
                    "insert into 버전파일개별(고객번호,버전,이름,ip,프로그램명,프로그램버전,상태,"
                    "일자,전송여부) values(?,?,?,?,?,?,?,?,?) ",
                    parameters, state.g_Connect);
}

}  // namespace quillmend

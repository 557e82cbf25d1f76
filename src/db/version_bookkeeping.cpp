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
#include "base/text.h"

namespace quillmend {

std::string ProductVersionQuery() {
  return std::string("select 문자내용 from  시스템환경일자별  where 기타내용='syssVersionno' ") +
         " and 날짜내용 = (select max(날짜내용) from 시스템환경일자별) ";
}

std::string ProductVersionUpdate(const std::string& last) {
  return "Update 시스템환경일자별 set 문자내용 ='" + SqlQuoted(last) +
         "' where 기타내용='syssVersionno' " +
         " and 날짜내용 = (select max(날짜내용) from 시스템환경일자별)";
}

void GetInstalledVersion(SharedState& state) {
  Recordset rs;
  std::string recorded;
  if (OpenRecordset(state, rs, InstalledVersionQuery())) recorded = TrimBlanks(rs.Text(0));
  rs.Close();
  const std::string last = GetLastVersion(state);
  // The pass starts from the older of the clinic's record and this workstation's Last, so that
  // neither a workstation that is behind nor a record that is behind skips a version. Without a
  // record (no row, NULL or blank) Last alone decides: an empty start would offer every
  // version ever published again.
  state.g_InstalledVersion =
      recorded.empty() || CompareVersions(last, recorded) < 0 ? last : recorded;
  GetCustomerCode(state);
}

namespace {

std::string SupportRecordText(const std::string& last) {
  return "Ver " + last + " 업데이트 완료";
}

// Raises the product's recorded version to last when no row of the latest date holds last or a
// newer version, in version order: the update sets every such row, and must not lower one.
void RaiseProductVersion(SharedState& state, const std::string& last) {
  bool update = false;
  try {
    Recordset rs;
    update = true;
    if (OpenRecordset(state, rs, ProductVersionQuery())) {
      for (; !rs.eof() && update; rs.MoveNext()) {
        if (!IsNewerVersion(last, rs.Text("문자내용"))) update = false;
      }
    }
  } catch (const std::exception&) {
    update = false;  // whether the recorded version is older cannot be told: it stays
  }
  if (!update) return;
  try {
    ExecuteStatement(state, ProductVersionUpdate(last), state.g_Connect);
  } catch (const std::exception&) {
  }
}

}  // namespace

void UpdateProductVersion(SharedState& state) {
  const std::string last = GetLastVersion(state);
  if (TrimBlanks(last).empty()) return;
  // The support record is filed before the product's version is raised: an agent ended in
  // between leaves the product's version behind, which the next pass sees and completes
  // (CompleteInterruptedVersion). Ended the other way round, nothing would show that the record
  // was never filed.
  AddSupportRecord(state, SupportRecordText(last));
  RaiseProductVersion(state, last);
}

void CompleteInterruptedVersion(SharedState& state) {
  const std::string last = GetLastVersion(state);
  if (TrimBlanks(last).empty()) return;
  bool behind = false;
  try {
    Recordset rs;
    if (OpenRecordset(state, rs, ProductVersionQuery())) {
      behind = true;
      for (; !rs.eof() && behind; rs.MoveNext()) {
        behind = IsNewerVersion(last, rs.Text("문자내용"));
      }
    }
  } catch (const std::exception&) {
    return;
  }
  if (!behind) return;
  LogLine("the product's version is older than " + last + ": its update is completed now");
  // The pass may have ended after it filed the support record: it is filed only once.
  const std::string text = SupportRecordText(last);
  if (!SupportRecordFiled(state, text)) AddSupportRecord(state, text);
  RaiseProductVersion(state, last);
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

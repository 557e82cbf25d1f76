// What the agent reports to the vendor CRM: program rows, support records with their daily
// receipt numbers, and the rows that waited from offline passes.
#include "crm/crm_reporting.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/version_order.h"
#include "platform/local_time.h"
#include "startup/diagnostics.h"
#include "startup/settings.h"
#include "base/text.h"

namespace quillmend {
namespace {

// "0000#": a whole number padded to five digits; anything else as it is.
std::string FiveDigits(const std::string& value) {
  const std::string t = TrimBlanks(value);
  if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos || t.size() >= 5) {
    return t;
  }
  return std::string(5 - t.size(), '0') + t;
}

}  // namespace

std::string ReceiptNumberQuery(const std::string& today) {
  return std::string(
             "select case when isnull(max(접수번호), '') = '' then 1 else convert(int, "
             "max(right(접수번호,5))) + 1 end ") +
         " as 최종번호 from 고객지원기록 where 접수일자 ='" + SqlQuoted(today) + "'";
}

std::string SupportRecordInsert(const std::string& number, const std::string& today,
                                const std::string& time, const std::string& customer_code,
                                const std::string& detail, const std::string& text) {
  return std::string(
             "insert into 고객지원기록(접수번호, 접수일자, 접수시간, 접수자, 고객번호, 우선순위, "
             "처리방법, ") +
         " 요구사항, 처리내용, 처리자, 처리일자, 처리시작시간, 처리완료시간, 처리여부, 프로그램명) " +
         " values ('" + SqlQuoted(number) + "','" + SqlQuoted(today) + "','" + SqlQuoted(time) +
         "','" + "인터넷" + "','" + SqlQuoted(customer_code) + "','1','1'," + "'" +
         SqlQuoted(detail) + "'," + "'" + SqlQuoted(text) + "'," + "'인터넷','" +
         SqlQuoted(today) + "','" + SqlQuoted(time) + "','" + SqlQuoted(time) + "','" +
         "2','오르벨')";
}

std::string RequestCodeInsert(const std::string& number) {
  return std::string("insert into 고객요구처리코드(접수번호, 최종번호, 요구처리구분, 코드1, 코드2, "
                     "코드3, 코드4)") +
         " values ('" + SqlQuoted(number) + "', 1, '3', 'P.프로그램', '','', '')";
}

std::string SentVersionRowsQuery(const std::string& customer_code, const std::string& version) {
  return "select 이름, ip, 프로그램명 from 오르벨거래처버전 where 고객번호 = '" +
         SqlQuoted(customer_code) + "' and 버전 = '" + SqlQuoted(version) + "'";
}

std::string SupportRecordsQuery(const std::string& customer_code, const std::string& text) {
  // like, not =: the CRM's free-text columns may be of a type that = cannot compare.
  return "select 처리내용, 요구사항 from 고객지원기록 where 고객번호 = '" + SqlQuoted(customer_code) +
         "' and 처리내용 like '" + SqlQuoted(text) + "'";
}

std::string WaitingRowsQuery() {
  return "select * from 버전파일개별 where 전송여부 = 'N' order by ID";
}

std::string MarkSentUpdate(const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) list += (list.empty() ? "" : ",") + id;
  return "update 버전파일개별 set 전송여부 = 'Y' where ID in (" + list + ")";
}

std::string SentVersionRowQuery(const std::string& customer_code, const std::string& version,
                                const std::string& host_name, const std::string& ip,
                                const std::string& program_name) {
  return "select count(*) from 오르벨거래처버전 where 고객번호 = '" + SqlQuoted(customer_code) +
         "' and 버전 = '" + SqlQuoted(version) + "' and 이름 = '" + SqlQuoted(host_name) +
         "' and ip = '" + SqlQuoted(ip) + "' and 프로그램명 = '" + SqlQuoted(program_name) + "'";
}

void SendCustomerVersion(SharedState& state, const std::string& version,
                         const std::string& program_name, const std::string& program_version,
                         const std::string& state_text) {
  // A pass that ended before it recorded its version applies and reports it again: the CRM
  // keeps one row per workstation, version and program.
  try {
    Recordset rs = QueryOn(state,
                           SentVersionRowQuery(state.g_CustomerCode, version, state.g_HostName,
                                               state.g_LocalIP, program_name),
                           state.g_Connect2);
    if (!rs.eof() && TrimBlanks(rs.Text(0)) != "0") return;
  } catch (const std::exception&) {
    // Not known to be there: the insert below says whether the CRM can be reached.
  }
  SendCustomerVersionAs(state, version, state.g_HostName, state.g_LocalIP, program_name,
                        program_version, state_text, FormatDateTime(LocalNow()));
}

void SendCustomerVersionAs(SharedState& state, const std::string& version,
                           const std::string& host_name, const std::string& ip,
                           const std::string& program_name, const std::string& program_version,
                           const std::string& state_text, const std::string& time) {
  const ParamList parameters = {"",        state.g_CustomerCode, version,         host_name, ip,
                                program_name, program_version,   state_text,      time};
  ExecuteWithParams(state,
                    "insert into 오르벨거래처버전(고객번호,버전,이름,ip,프로그램명,프로그램버전,"
                    "상태,일자) values(?,?,?,?,?,?,?,?) ",
                    parameters, state.g_Connect2);
}

namespace {

// A waiting 버전파일개별 row, as the workstation that wrote it recorded it.
struct WaitingRow {
  std::string id;
  std::string host_name;
  std::string ip;
  std::string program_name;
  std::string program_version;
  std::string state_text;
  std::string time;
};

// Which workstation and program a CRM row is about, compared as the server compares text:
// without regard to letter case or trailing blanks.
std::string RowKey(const std::string& host_name, const std::string& ip,
                   const std::string& program_name) {
  auto key = [](const std::string& text) { return ToUpperAscii(TrimBlanks(text)); };
  return key(host_name) + '\n' + key(ip) + '\n' + key(program_name);
}

// The rows of version the CRM holds already for the customer (empty when it cannot be asked).
std::set<std::string> RowsInCrm(SharedState& state, const std::string& version) {
  std::set<std::string> keys;
  try {
    Recordset rs = QueryOn(state, SentVersionRowsQuery(state.g_CustomerCode, version),
                           state.g_Connect2);
    for (; !rs.eof(); rs.MoveNext()) keys.insert(RowKey(rs.Text(0), rs.Text(1), rs.Text(2)));
  } catch (const std::exception&) {
  }
  return keys;
}

// Marks rows sent by their ID, a few hundred to a statement. An ID that is no whole number
// cannot be named: its row keeps waiting (and is not sent twice).
void MarkSent(SharedState& state, const std::vector<std::string>& ids) {
  constexpr size_t kPerStatement = 400;
  std::vector<std::string> batch;
  auto flush = [&] {
    if (batch.empty()) return;
    try {
      ExecuteStatement(state, MarkSentUpdate(batch), state.g_Connect);
    } catch (const std::exception&) {
    }
    batch.clear();
  };
  for (const std::string& raw : ids) {
    const std::string id = TrimBlanks(raw);
    if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) {
      LogLine("the waiting row with ID \"" + raw + "\" cannot be marked as sent");
      continue;
    }
    batch.push_back(id);
    if (batch.size() == kPerStatement) flush();
  }
  flush();
}

}  // namespace

namespace {

// Sends the waiting rows of one version, files the support record and marks the rows (see
// SendPendingVersionRecords).
void SendWaitingRowsOf(SharedState& state, const std::string& version,
                       const std::vector<WaitingRow>& rows) {
  // Each row goes out with the identity and time of the workstation that wrote it. A row the CRM
  // holds already (a pass cut short before its marks) is not sent again; a row whose send
  // failed keeps "N" and is sent by a later pass.
  std::set<std::string> in_crm = RowsInCrm(state, version);
  std::vector<std::string> sent_ids;
  for (const WaitingRow& row : rows) {
    const std::string key = RowKey(row.host_name, row.ip, row.program_name);
    if (!in_crm.contains(key)) {
      try {
        SendCustomerVersionAs(state, version, row.host_name, row.ip, row.program_name,
                              row.program_version, row.state_text,
                              row.time.empty() ? FormatDateTime(LocalNow()) : row.time);
      } catch (const std::exception&) {
        continue;
      }
      in_crm.insert(key);
    }
    sent_ids.push_back(row.id);
  }
  if (sent_ids.empty()) return;
  // The support record is filed before the rows are marked: a pass cut short in between sends
  // again, finds the rows and the record in the CRM, and only marks. A record the CRM refused
  // leaves the rows waiting, so that the next pass files it.
  const std::string text = "Ver " + version + " 업데이트완료";
  if (!SupportRecordFiled(state, text) && !FileSupportRecord(state, text)) return;
  // Only the rows sent now (or found in the CRM), by ID: rows another workstation wrote since
  // they were read keep waiting.
  MarkSent(state, sent_ids);
}

}  // namespace

void SendPendingVersionRecords(SharedState& state) {
  const std::string last = GetLastVersion(state);
  // Every waiting row, of whatever version: a workstation that copied a version from the share
  // while this one had moved on already is reported all the same. Those of Last go first.
  std::map<std::string, std::vector<WaitingRow>> by_version;
  try {
    Recordset rs;
    if (!OpenRecordset(state, rs, WaitingRowsQuery())) return;
    for (; !rs.eof(); rs.MoveNext()) {
      by_version[TrimBlanks(rs.Text("버전"))].push_back(
          {rs.Text("ID"), rs.Text("이름"), rs.Text("IP"), rs.Text("프로그램명"),
           rs.Text("프로그램버전"), rs.Text("상태"), rs.Text("일자")});
    }
  } catch (const std::exception&) {
    return;  // nothing is known to be waiting
  }
  std::vector<std::string> versions;
  for (const auto& entry : by_version) versions.push_back(entry.first);
  SortVersions(versions);
  std::stable_partition(versions.begin(), versions.end(),
                        [&](const std::string& v) { return v == TrimBlanks(last); });
  for (const std::string& version : versions) {
    SendWaitingRowsOf(state, version, by_version[version]);
  }
}

bool SupportRecordFiled(SharedState& state, const std::string& text) {
  const std::string detail = text + "(" + state.g_LocalIP + ":" + state.g_HostName + ")";
  try {
    Recordset rs = QueryOn(state, SupportRecordsQuery(state.g_CustomerCode, text),
                           state.g_Connect2);
    for (; !rs.eof(); rs.MoveNext()) {
      if (TrimBlanks(rs.Text(0)) == text && TrimBlanks(rs.Text(1)) == detail) return true;
    }
  } catch (const std::exception&) {
  }
  return false;
}

void AddSupportRecord(SharedState& state, const std::string& text) {
  FileSupportRecord(state, text);
}

bool FileSupportRecord(SharedState& state, const std::string& text) {
  const LocalDateTime now = LocalNow();
  const std::string today = FormatDate(now);
  const std::string time = FormatHourMinute(now);
  std::string number;
  try {
    Recordset rs = QueryOn(state, ReceiptNumberQuery(today), state.g_Connect2);
    if (!rs.eof()) {
      number = today.substr(0, 4) + today.substr(5, 2) + today.substr(8, 2) +
               FiveDigits(rs.Text(0));
    }
  } catch (const std::exception&) {
  }
  const std::string detail = text + "(" + state.g_LocalIP + ":" + state.g_HostName + ")";
  if (state.g_CustomerCode.empty()) return true;  // nothing to file
  bool filed = true;
  try {
    ExecuteStatement(state,
                     SupportRecordInsert(number, today, time, state.g_CustomerCode, detail, text),
                     state.g_Connect2);
  } catch (const std::exception&) {
    filed = false;
  }
  try {
    ExecuteStatement(state, RequestCodeInsert(number), state.g_Connect2);
  } catch (const std::exception&) {
  }
  return filed;
}

}  // namespace quillmend

// What the agent reports to the vendor CRM: program rows, support records with their daily
// receipt numbers, and the rows that waited from offline passes.
#include "crm/crm_reporting.h"

#include "db/db_access.h"
#include "db/db_connection.h"
#include "platform/local_time.h"
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

void SendCustomerVersion(SharedState& state, const std::string& version,
                         const std::string& program_name, const std::string& program_version,
                         const std::string& state_text) {
  const ParamList parameters = {"",           state.g_CustomerCode, version,
                                state.g_HostName, state.g_LocalIP,  program_name,
                                program_version,  state_text,       FormatDateTime(LocalNow())};
  ExecuteWithParams(state,
                    "insert into 오르벨거래처버전(고객번호,버전,이름,ip,프로그램명,프로그램버전,"
                    "상태,일자) values(?,?,?,?,?,?,?,?) ",
                    parameters, state.g_Connect2);
}

void SendPendingVersionRecords(SharedState& state) {
  const std::string v = GetLastVersion(state);
  Recordset rs;
  try {
    if (!OpenRecordset(state, rs,
                       "select * from 버전파일개별 where 버전 = '" + SqlQuoted(v) +
                           "' and 전송여부 = 'N' ")) {
      return;
    }
  } catch (const std::exception&) {
    return;  // nothing is known to be waiting
  }
  // A row counts as sent only when its send succeeded: a failed one keeps "N" and is sent by
  // a later pass instead of being lost.
  std::vector<std::string> sent_ids;
  bool all_sent = true;
  for (; !rs.eof(); rs.MoveNext()) {
    try {
      SendCustomerVersion(state, v, rs.Text("프로그램명"), rs.Text("프로그램버전"),
                          rs.Text("상태"));
      sent_ids.push_back(rs.Text("ID"));
    } catch (const std::exception&) {
      all_sent = false;
    }
  }
  rs.Close();
  if (sent_ids.empty()) return;
  try {
    if (all_sent) {
      ExecuteStatement(state,
                       "update 버전파일개별 set 전송여부 = 'Y' where 버전 = '" + SqlQuoted(v) + "'",
                       state.g_Connect);
    } else {
      for (const std::string& id : sent_ids) {
        ExecuteStatement(state,
                         "update 버전파일개별 set 전송여부 = 'Y' where ID = " +
                             std::to_string(std::stoll(id)),
                         state.g_Connect);
      }
    }
  } catch (const std::exception&) {
  }
  AddSupportRecord(state, "Ver " + v + " 업데이트완료");
}

void AddSupportRecord(SharedState& state, const std::string& text) {
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
  if (state.g_CustomerCode.empty()) return;
  try {
    ExecuteStatement(state,
                     SupportRecordInsert(number, today, time, state.g_CustomerCode, detail, text),
                     state.g_Connect2);
  } catch (const std::exception&) {
  }
  try {
    ExecuteStatement(state, RequestCodeInsert(number), state.g_Connect2);
  } catch (const std::exception&) {
  }
}

}  // namespace quillmend

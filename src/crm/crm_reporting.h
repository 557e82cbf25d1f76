// The vendor CRM connection and what is reported to it.
#pragma once

#include <string>
#include <vector>

#include "startup/shared_state.h"

namespace quillmend {

// Opens g_Connect2 with the fixed login and the server of quillmend.ini [CRM] Server. On failure
// writes "g_Connect2 " + error text to the failure log. Never throws.
void ConnectCrm(SharedState& state);
// Sends one 오르벨거래처버전 row for a program applied online on this workstation (g_HostName,
// g_LocalIP, now), unless the CRM holds one for this workstation, version and program already
// (a pass that ended before it recorded its version repeats it). Throws DbError when the insert
// fails.
void SendCustomerVersion(SharedState& state, const std::string& version,
                         const std::string& program_name, const std::string& program_version,
                         const std::string& state_text);
// The same row for the workstation host_name/ip at time ("yyyy-mm-dd hh:mm:ss"): a row that
// waited in 버전파일개별. Throws DbError on failure.
void SendCustomerVersionAs(SharedState& state, const std::string& version,
                           const std::string& host_name, const std::string& ip,
                           const std::string& program_name, const std::string& program_version,
                           const std::string& state_text, const std::string& time);
// Sends the waiting 버전파일개별 rows (those of any workstation of the clinic, of any version;
// [Version] Last's first, then the others in version order), each with the identity and time it
// was written with; per version, files this workstation's support record "Ver " + version +
// " 업데이트완료" and marks the rows sent by their ID. Converges after a pass that was cut short:
// a row the CRM holds already for that workstation, version and program is not sent again, and
// the support record is filed only when the CRM lacks it. A row whose send failed keeps
// waiting, and so do all rows of a version whose support record was refused. Ignores failures.
void SendPendingVersionRecords(SharedState& state);
// True when the CRM holds this workstation's support record with text (its 처리내용) already;
// false when it does not or cannot be asked. Never throws.
bool SupportRecordFiled(SharedState& state, const std::string& text);
// Files a support record with the next receipt number of the day. Ignores failures.
void AddSupportRecord(SharedState& state, const std::string& text);
// The same; false when the CRM refused the record itself (true without a customer code, when
// nothing is to be filed).
bool FileSupportRecord(SharedState& state, const std::string& text);

// The CRM connection string (fixed login, server from quillmend.ini [CRM] Server).
std::string CrmConnectionString(const SharedState& state);
// The statements of a support record (quotes in values doubled); today "YYYY-MM-DD",
// time "HH:MM".
std::string ReceiptNumberQuery(const std::string& today);
std::string SupportRecordInsert(const std::string& number, const std::string& today,
                                const std::string& time, const std::string& customer_code,
                                const std::string& detail, const std::string& text);
std::string RequestCodeInsert(const std::string& number);
// The statements of SendPendingVersionRecords (quotes doubled): the waiting rows, the
// customer's CRM rows of a version, the customer's support records with a text, and the mark of
// rows by ID (ids are whole numbers).
std::string WaitingRowsQuery();
std::string SentVersionRowsQuery(const std::string& customer_code, const std::string& version);
// The check of SendCustomerVersion: how many rows the CRM holds for this workstation, version
// and program.
std::string SentVersionRowQuery(const std::string& customer_code, const std::string& version,
                                const std::string& host_name, const std::string& ip,
                                const std::string& program_name);
std::string SupportRecordsQuery(const std::string& customer_code, const std::string& text);
std::string MarkSentUpdate(const std::vector<std::string>& ids);

}  // namespace quillmend

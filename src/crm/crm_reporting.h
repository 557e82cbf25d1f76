// The vendor CRM connection and what is reported to it.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// Opens g_Connect2 with the fixed login and the server of quillmend.ini [CRM] Server. On failure
// writes "g_Connect2 " + error text to the failure log. Never throws.
void ConnectCrm(SharedState& state);
// Sends one 오르벨거래처버전 row for a program applied online. Throws DbError on failure.
void SendCustomerVersion(SharedState& state, const std::string& version,
                         const std::string& program_name, const std::string& program_version,
                         const std::string& state_text);
// Sends the waiting offline rows of the current version and marks them sent. Ignores failures.
void SendPendingVersionRecords(SharedState& state);
// Files a support record with the next receipt number of the day. Ignores failures.
void AddSupportRecord(SharedState& state, const std::string& text);

// The CRM connection string (fixed login, server from quillmend.ini [CRM] Server).
std::string CrmConnectionString(const SharedState& state);
// The statements of a support record (quotes in values doubled); today "YYYY-MM-DD",
// time "HH:MM".
std::string ReceiptNumberQuery(const std::string& today);
std::string SupportRecordInsert(const std::string& number, const std::string& today,
                                const std::string& time, const std::string& customer_code,
                                const std::string& detail, const std::string& text);
std::string RequestCodeInsert(const std::string& number);

}  // namespace quillmend

// A program folder with a SQLite clinic database and the SQLite CRM file "CRM" beside it (the
// CRM connection string names database=CRM, which the driver opens in the current folder, so
// the folder is made current for the sandbox's life). The workstation has a fixed identity.
#pragma once

#include <string>

#include "crm/crm_reporting.h"
#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/db_sandbox.h"
#include "platform/local_time.h"

namespace quillmend::testing {

struct CrmSandbox : DbSandbox {
  explicit CrmSandbox(const ClinicSettings& settings = {})
      : DbSandbox(settings), current(folder.path()), crm(CreateProgramFolderCrm(folder.path())) {
    state.g_HostName = "접수실-PC";
    state.g_LocalIP = "10.0.0.7";
  }

  // Opens both connections as a pass does and forgets the statements sent so far. Where the
  // driver cannot find the CRM by its relative name (Wine), the CRM file is opened by its path
  // with the same time-outs instead.
  void Connect() {
    OpenLocalDatabase(state);
    if (RelativeDatabaseNamesFollowCurrentFolder()) {
      ConnectCrm(state);
    } else {
      state.g_Connect2 = std::make_shared<DbConnection>();
      state.g_Connect2->SetConnectionTimeout(20);
      state.g_Connect2->SetCommandTimeout(20);
      state.g_Connect2->Open("driver={SQL Server};server=;uid=kelpto;pwd=kelpto;database=" +
                             DriverPath(crm));
    }
    sql.clear();
  }

  // Rows of a plain SQLite query on the CRM.
  std::vector<std::string> Crm(const std::string& query) const { return QuerySqlite(crm, query); }

  CurrentFolder current;
  std::string crm;
};

// Today as "YYYY-MM-DD" and as the receipt number's "yyyymmdd".
inline std::string Today() { return FormatDate(LocalNow()); }
inline std::string TodayDigits() {
  const std::string d = Today();
  return d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2);
}

}  // namespace quillmend::testing

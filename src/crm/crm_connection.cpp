// The fixed connection to the vendor CRM database.
#include "crm/crm_reporting.h"
#include "db/db_access.h"
#include "db/db_connection.h"
#include "startup/agent_settings.h"
#include "startup/settings.h"
#include "ui/ui_host.h"

namespace quillmend {

std::string CrmConnectionString(const SharedState& state) {
  return "driver={SQL Server};server=" + AgentSetting(state, "CRM", "Server") +
         ";uid=kelpto;pwd=kelpto;database=CRM;Catalog=CRM";
}

void ConnectCrm(SharedState& state) {
  state.g_Connect2 = std::make_shared<DbConnection>();
  try {
    state.g_Connect2->SetConnectionTimeout(20);
    state.g_Connect2->SetCommandTimeout(20);
    state.g_Connect2->Open(CrmConnectionString(state));
    if (state.ui_ != nullptr) state.ui_->DoEvents();
  } catch (const std::exception& e) {
    LogFailure(state, std::string("g_Connect2 ") + e.what());
  }
}

}  // namespace quillmend

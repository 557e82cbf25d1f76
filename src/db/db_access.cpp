#include "db/db_access.h"

#include "db/db_connection.h"
#include "startup/in_house_components.h"
#include "startup/program_paths.h"
#include "startup/settings.h"
#include "ui/ui_host.h"

namespace quillmend {
namespace {

// Busy pointer for the life of a database routine; the default pointer on every way out.
class BusyPointer {
 public:
  explicit BusyPointer(SharedState& state) : ui_(state.ui_) {
    if (ui_ != nullptr) ui_->SetBusyPointer(true);
  }
  ~BusyPointer() {
    if (ui_ != nullptr) ui_->SetBusyPointer(false);
  }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  UiHost* ui_;
};

void Trace(SharedState& state, const std::string& sql) {
  if (state.sql_trace_ != nullptr) state.sql_trace_->push_back(sql);
}

// A connection that was never set is replaced by an unopened one, so that using it gives the
// closed-connection error rather than a missing-object fault.
DbConnection& Usable(std::shared_ptr<DbConnection>& connection) {
  if (!connection) connection = std::make_shared<DbConnection>();
  return *connection;
}

DbConnection& Usable(const std::shared_ptr<DbConnection>& connection, std::shared_ptr<DbConnection>& spare) {
  if (connection) return *connection;
  spare = std::make_shared<DbConnection>();
  return *spare;
}

void ShowMessage(SharedState& state, const std::string& text) {
  if (state.ui_ != nullptr) state.ui_->ShowMessage(kProgramTitle, text);
}

// Hands the open clinic connection to the in-house components (the member order is fixed).
void HandToComponents(SharedState& state) {
  auto fail = [](const char* what) { throw DbError(std::string("component call failed: ") + what); };
  if (!state.g_Qdb || !state.g_Kit || !state.g_Env) return;
  if (!state.g_Qdb->SetConnection("DbCnn", state.g_Connect->connection_string())) fail("DbCnn");
  if (!state.g_Kit->SetObjectProperty("mca", *state.g_Qdb)) fail("mca");
  if (!state.g_Kit->SetObjectProperty("mcs", *state.g_Env)) fail("mcs");
  if (!state.g_Kit->CallMethod("IniDlls")) fail("IniDlls");
  if (!state.g_Env->SetObjectProperty("mca", *state.g_Qdb)) fail("mca");
  if (!state.g_Env->CallMethod("IniDlls")) fail("IniDlls");
}

}  // namespace

void OpenLocalDatabase(SharedState& state) {
  try {
    const std::string file = SettingsFile(state, kSettingsForDb);
    const std::string dsn = EnvGetIniString(state, file, "DB", "DSN", "DSN");
    const std::string uid = EnvGetIniString(state, file, "DB", "UID", "sa");
    const std::string pwd = EnvGetIniString(state, file, "DB", "PWD", "");
    const std::string server = EnvGetIniString(state, file, "DB", "SERVER", "");
    const std::string dbname = EnvGetIniString(state, file, "DB", "DBNAME", "");
    state.g_Connect = std::make_shared<DbConnection>();
    if (!server.empty() && !dbname.empty()) {
      try {
        state.g_Connect->SetConnectionTimeout(10);
        state.g_Connect->SetCommandTimeout(10);
        state.g_Connect->Open("driver={SQL Server};server=" + server + ";uid=" + uid +
                              ";pwd=" + pwd + ";database=" + dbname);
        HandToComponents(state);
        return;
      } catch (const DbError&) {
        // Falls back to the data-source form below.
        state.g_Connect = std::make_shared<DbConnection>();
      }
    }
    state.g_Connect->SetConnectionTimeout(10);
    state.g_Connect->Open("DSN=" + dsn + ";uid=" + uid + ";pwd=" + pwd + ";");
    HandToComponents(state);
  } catch (const std::exception& e) {
    LogFailure(state, std::string("g_Connect ") + e.what());
    state.g_Connect.reset();
  }
}

bool OpenRecordsetOn(SharedState& state, Recordset& rs, const std::string& sql,
                     const std::shared_ptr<DbConnection>& connection);

bool OpenRecordset(SharedState& state, Recordset& rs, const std::string& sql) {
  BusyPointer busy(state);
  Trace(state, sql);
  rs = Usable(state.g_Connect).Query(sql);
  if (rs.eof()) {
    rs.Close();
    return false;
  }
  return true;
}

bool OpenRecordsetOn(SharedState& state, Recordset& rs, const std::string& sql,
                     const std::shared_ptr<DbConnection>& connection) {
  BusyPointer busy(state);
  Trace(state, sql);
  try {
    std::shared_ptr<DbConnection> spare;
    rs = Usable(connection, spare).Query(sql);
    if (rs.eof()) {
      rs.Close();
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    rs.Close();
    ShowMessage(state, std::string("DB 연결 오류 : ") + e.what());
    return false;
  }
}

bool ExecuteWithParams(SharedState& state, const std::string& sql, const ParamList& parameters,
                       const std::shared_ptr<DbConnection>& connection) {
  BusyPointer busy(state);
  Trace(state, sql);
  std::shared_ptr<DbConnection> spare;
  Usable(connection, spare).Execute(sql, &parameters);
  return true;
}

bool QueryWithParams(SharedState& state, Recordset& rs, const std::string& sql,
                     const ParamList& parameters) {
  BusyPointer busy(state);
  Trace(state, sql);
  try {
    rs = Usable(state.g_Connect).Query(sql, &parameters);
    if (rs.eof()) {
      rs.Close();
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    rs.Close();
    ShowMessage(state, e.what());
    return false;
  }
}

void ExecuteStatement(SharedState& state, const std::string& sql,
                      const std::shared_ptr<DbConnection>& connection) {
  Trace(state, sql);
  std::shared_ptr<DbConnection> spare;
  Usable(connection, spare).Execute(sql);
}

Recordset QueryOn(SharedState& state, const std::string& sql,
                  const std::shared_ptr<DbConnection>& connection) {
  BusyPointer busy(state);
  Trace(state, sql);
  std::shared_ptr<DbConnection> spare;
  return Usable(connection, spare).Query(sql);
}

}  // namespace quillmend

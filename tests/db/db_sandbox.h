// A program folder with a SQLite clinic database behind "\ORVEL_H.ini", a shared state wired to
// a headless window host, and every SQL text the routines send collected in sql.
#pragma once

#include <string>
#include <vector>

#include "startup/in_house_components.h"
#include "startup/settings.h"
#include "startup/shared_state.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"
#include "ui/headless/headless_host.h"

namespace quillmend::testing {

struct DbSandbox {
  explicit DbSandbox(const ClinicSettings& settings = {}) : host({}, false) {
    UseProjectOdbc();
    state.program_folder_ = folder.path();
    state.ui_ = &host;
    state.sql_trace_ = &sql;
    CreateInHouseComponents(state);
    clinic = folder.Sub("clinic.db");
    CreateClinicDatabase(clinic, settings);
    WriteClinicDbSettings(folder.path(), clinic);
  }

  // The failure log's text ("" when nothing was logged).
  std::string FailureLog() const {
    const std::string path = folder.Sub("Server.ini");
    return FileExists(path) ? ReadFileBytes(path) : "";
  }
  // Rows of a plain SQLite query on the clinic database.
  std::vector<std::string> Clinic(const std::string& query) const {
    return QuerySqlite(clinic, query);
  }
  void WriteLastVersion(const std::string& version) const {
    WriteIniValue(folder.Sub("ORVEL_H.ini"), "Version", "Last", version);
  }

  TempFolder folder;
  HeadlessHost host;
  SharedState state;
  std::vector<std::string> sql;
  std::string clinic;
};

}  // namespace quillmend::testing

// The database access routines over ODBC (wide entry points; unixODBC on Linux, odbc32 on
// Windows). Errors carry the driver's diagnostic text.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/recordset.h"
#include "startup/shared_state.h"

namespace quillmend {

// A failure of the database layer; what() is the platform's description (ODBC diagnostics).
class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class DbConnection;  // db/db_connection.h

// Positional parameters: element 0 is ignored; elements 1..n are bound to the "?" markers as
// variable-length strings of size 100 named "@a1".."@an".
using ParamList = std::vector<std::string>;

// (Re)opens g_Connect from "\ORVEL_H.ini" [DB] (read through g_Env): the DSN-less form when
// SERVER and DBNAME are set, falling back once to the data-source form. On failure writes the
// failure-log key "g_Connect " + error text and leaves g_Connect unset. Never throws.
void OpenLocalDatabase(SharedState& state);

// Runs sql on g_Connect into rs. True when at least one row came back (rs open on the first
// row); false for none (rs closed). Throws DbError (also for an unset connection: the closed
// connection error). Busy pointer while it runs.
bool OpenRecordset(SharedState& state, Recordset& rs, const std::string& sql);
// Same on the given connection, but catches every failure: message box
// "DB 연결 오류 : " + error text, result false.
bool OpenRecordsetOn(SharedState& state, Recordset& rs, const std::string& sql,
                     const std::shared_ptr<DbConnection>& connection);
// Runs a parameterised statement on connection; returns true. Throws DbError.
bool ExecuteWithParams(SharedState& state, const std::string& sql, const ParamList& parameters,
                       const std::shared_ptr<DbConnection>& connection);
// Runs a parameterised query on g_Connect; true when it returned a row. Catches every failure:
// message box with the error text alone, result false.
bool QueryWithParams(SharedState& state, Recordset& rs, const std::string& sql,
                     const ParamList& parameters);
// Runs a plain statement (no parameters, no result) on connection. Throws DbError.
void ExecuteStatement(SharedState& state, const std::string& sql,
                      const std::shared_ptr<DbConnection>& connection);

// Runs a query on connection into a plain recordset (all rows, open even when empty).
// Throws DbError.
Recordset QueryOn(SharedState& state, const std::string& sql,
                  const std::shared_ptr<DbConnection>& connection);

}  // namespace quillmend

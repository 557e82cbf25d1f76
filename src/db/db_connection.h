// One ODBC connection (wide entry points, one code path for unixODBC and odbc32). It opens from
// a connection string, runs text statements with or without positional parameters and fetches
// every row of a result (client-side). When the DBMS reports itself as SQLite, statements go
// through the SQLite dialect layer first and the session gets what the system expects of its
// database (a sysobjects view, dbo.arr_split, the command time-out as busy time-out).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/recordset.h"

namespace quillmend {

// The error text for using a connection that is not open.
inline constexpr const char* kClosedConnectionText =
    "Operation is not allowed when the object is closed.";

class DbConnection {
 public:
  DbConnection();
  ~DbConnection();
  DbConnection(const DbConnection&) = delete;
  DbConnection& operator=(const DbConnection&) = delete;

  // Seconds; 0 means no limit. Set before Open (the command time-out also applies later).
  void SetConnectionTimeout(int seconds) { connection_timeout_ = seconds; }
  void SetCommandTimeout(int seconds) { command_timeout_ = seconds; }
  int command_timeout() const { return command_timeout_; }

  // Opens with the connection string (no prompt). Throws DbError with the driver's diagnostic
  // text on failure; the connection then stays unopened.
  void Open(const std::string& connection_string);
  bool is_open() const;
  const std::string& connection_string() const { return connection_string_; }
  // SQL_DBMS_NAME as the driver reports it ("" before Open).
  const std::string& dbms_name() const { return dbms_name_; }
  bool is_sqlite() const { return sqlite_; }

  // Runs sql and fetches its first result completely. parameters (may be null) are bound to
  // the "?" markers: element 0 ignored, 1..n bound in order as variable-length strings.
  // Throws DbError (the closed-connection text when not open).
  Recordset Query(const std::string& sql, const std::vector<std::string>* parameters = nullptr);
  // Runs a statement and discards any result. Throws DbError.
  void Execute(const std::string& sql, const std::vector<std::string>* parameters = nullptr);
  // Runs sql exactly as given, bypassing the dialect layer (test fixtures and session set-up).
  void ExecuteNative(const std::string& sql);
  Recordset QueryNative(const std::string& sql);

  // Where the SQLite session loaded dbo.arr_split from, and why it could not ("" when loaded).
  const std::string& arr_split_problem() const { return arr_split_problem_; }

 public:
  struct Handles;  // the ODBC handles (odbc_connection.cpp)

 private:
  Recordset Run(const std::string& sql, const std::vector<std::string>* parameters,
                bool want_rows);
  void PrepareSqliteSession();
  std::string Translate(const std::string& sql) const;

  std::unique_ptr<Handles> handles_;
  std::string connection_string_;
  std::string dbms_name_;
  bool sqlite_ = false;
  std::string arr_split_problem_;
  int connection_timeout_ = 15;
  int command_timeout_ = 30;
};

// The file of the SQLite extension that provides arr_split: QUILLMEND_SQLITE_EXTENSION when
// set, else the module the build produced. It is loaded by the driver's process, so under Wine
// it is the host's shared library.
std::string ArrSplitExtensionPath();

}  // namespace quillmend

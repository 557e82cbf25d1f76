// DbConnection over the ODBC C API. Text crosses the API as UTF-16 (SQLWCHAR is 16 bits on both
// unixODBC and odbc32).
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/sqlite_dialect.h"
#include "platform/file_names.h"
#include "platform/odbc_sdk.h"
#include "startup/diagnostics.h"
#include "base/text.h"

#ifndef QUILLMEND_ARR_SPLIT_MODULE
#define QUILLMEND_ARR_SPLIT_MODULE ""
#endif

namespace quillmend {

struct DbConnection::Handles {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;

  ~Handles() {
    if (connected) SQLDisconnect(dbc);
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide characters are UTF-16 units");

std::u16string Wide(const std::string& text) { return Utf8ToUtf16(text); }

SQLWCHAR* WidePtr(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// The text up to the first NUL of a wide buffer (lengths reported by drivers are not trusted).
std::string FromWideBuffer(const std::u16string& buffer) {
  const size_t end = buffer.find(u'\0');
  return Utf16ToUtf8(std::u16string_view(buffer).substr(0, end));
}

// The first diagnostic record's message, as the platform describes the failure.
std::string DiagnosticText(SQLSMALLINT type, SQLHANDLE handle, const char* fallback) {
  if (handle == SQL_NULL_HANDLE) return fallback;
  std::u16string state(6, u'\0');
  std::u16string message(1024, u'\0');
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  const SQLRETURN rc = SQLGetDiagRecW(type, handle, 1, WidePtr(state), &native,
                                      WidePtr(message), static_cast<SQLSMALLINT>(message.size() - 1),
                                      &length);
  if (!SQL_SUCCEEDED(rc)) return fallback;
  std::string text = TrimWhite(FromWideBuffer(message));
  return text.empty() ? std::string(fallback) : text;
}

class Statement {
 public:
  explicit Statement(SQLHDBC dbc) {
    if (!SQL_SUCCEEDED(AllocateHandle(SQL_HANDLE_STMT, dbc, &stmt_))) {
      stmt_ = SQL_NULL_HSTMT;
      throw DbError(DiagnosticText(SQL_HANDLE_DBC, dbc, "cannot allocate a statement"));
    }
  }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT get() const { return stmt_; }
  [[noreturn]] void Fail(const char* fallback) const {
    throw DbError(DiagnosticText(SQL_HANDLE_STMT, stmt_, fallback));
  }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// Reads one column of the current row as text; nullopt for NULL. Reads in pieces with even byte
// sizes until the driver reports the end.
std::optional<std::string> ReadColumn(const Statement& stmt, SQLUSMALLINT column) {
  std::u16string value;
  std::u16string chunk(2048, u'\0');
  for (;;) {
    SQLLEN indicator = 0;
    const SQLLEN bytes = static_cast<SQLLEN>(chunk.size() * sizeof(char16_t));
    const SQLRETURN rc =
        SQLGetData(stmt.get(), column, SQL_C_WCHAR, chunk.data(), bytes, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) stmt.Fail("cannot read a column");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const size_t room = chunk.size() - 1;  // one unit for the terminator
    size_t got = room;
    if (indicator != SQL_NO_TOTAL && indicator >= 0) {
      got = std::min(room, static_cast<size_t>(indicator) / sizeof(char16_t));
    }
    value.append(chunk.data(), got);
    if (rc == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: truncated, more follows
  }
  return Utf16ToUtf8(value);
}

}  // namespace

std::string ArrSplitExtensionPath() {
  if (const char* forced = std::getenv("QUILLMEND_SQLITE_EXTENSION"); forced && *forced) {
    return forced;
  }
  return QUILLMEND_ARR_SPLIT_MODULE;
}

DbConnection::DbConnection() = default;
DbConnection::~DbConnection() = default;

bool DbConnection::is_open() const { return handles_ && handles_->connected; }

namespace {

// Allocates the handles and connects with text; throws DbError with the driver's diagnostic.
std::unique_ptr<DbConnection::Handles> Connect(const std::string& text, int connection_timeout);

// The value of the connection string's "database" attribute ("" without one).
std::string DatabaseAttribute(const std::string& connection_string) {
  for (const std::string& part : SplitText(connection_string, ";")) {
    const size_t equals = part.find('=');
    if (equals == std::string::npos) continue;
    if (EqualsNoCase(TrimBlanks(part.substr(0, equals)), "database")) {
      return TrimBlanks(part.substr(equals + 1));
    }
  }
  return "";
}

bool IsEmptyFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(FsPath(path), error) &&
         std::filesystem::file_size(FsPath(path), error) == 0 && !error;
}

}  // namespace

void DbConnection::Open(const std::string& connection_string) {
  handles_.reset();
  sqlite_ = false;
  dbms_name_.clear();
  connection_string_ = connection_string;
  const std::string database = DatabaseAttribute(connection_string);
  std::error_code error;
  const bool database_was_there =
      database.empty() || std::filesystem::exists(FsPath(database), error);
  auto handles = Connect(connection_string, connection_timeout_);

  std::u16string name(256, u'\0');
  SQLSMALLINT name_length = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(handles->dbc, SQL_DBMS_NAME, name.data(),
                                static_cast<SQLSMALLINT>((name.size() - 1) * sizeof(char16_t)),
                                &name_length))) {
    dbms_name_ = FromWideBuffer(name);
  }
  if (FindNoCase(dbms_name_, "sqlite") != std::string::npos) {
    // The file driver creates a database it cannot find. Such a new, empty file is no clinic
    // database or CRM: it is removed again and the open fails, as a server refuses a database
    // it does not have (a mistyped name must not quietly become an empty database).
    if (!database_was_there && IsEmptyFile(database)) {
      handles.reset();
      std::filesystem::remove(FsPath(database), error);
      throw DbError("cannot open the connection: the database " + database + " does not exist");
    }
    // The SQLite driver waits for a locked database as long as its own Timeout attribute says
    // (100 s unless given), whatever the statement time-out: the session is opened again with
    // the command time-out as that attribute.
    handles.reset();
    const int wait_ms = command_timeout_ > 0 ? command_timeout_ * 1000 : 0;
    handles = Connect(connection_string + ";Timeout=" + std::to_string(wait_ms), connection_timeout_);
    handles_ = std::move(handles);
    sqlite_ = true;
    try {
      PrepareSqliteSession();
    } catch (const DbError&) {
      handles_.reset();
      sqlite_ = false;
      throw;
    }
    return;
  }
  handles_ = std::move(handles);
}

namespace {

std::unique_ptr<DbConnection::Handles> Connect(const std::string& connection_string,
                                               int connection_timeout) {
  auto handles = std::make_unique<DbConnection::Handles>();
  if (!SQL_SUCCEEDED(AllocateHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handles->env))) {
    handles->env = SQL_NULL_HENV;
    throw DbError("cannot allocate an ODBC environment");
  }
  SQLSetEnvAttr(handles->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                0);
  if (!SQL_SUCCEEDED(AllocateHandle(SQL_HANDLE_DBC, handles->env, &handles->dbc))) {
    handles->dbc = SQL_NULL_HDBC;
    throw DbError(DiagnosticText(SQL_HANDLE_ENV, handles->env, "cannot allocate a connection"));
  }
  SQLSetConnectAttrW(handles->dbc, SQL_ATTR_LOGIN_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connection_timeout)), 0);
  std::u16string text = Wide(connection_string);
  std::u16string out(1024, u'\0');
  SQLSMALLINT out_length = 0;
  const SQLRETURN rc = SQLDriverConnectW(handles->dbc, nullptr, WidePtr(text),
                                         static_cast<SQLSMALLINT>(text.size()), WidePtr(out),
                                         static_cast<SQLSMALLINT>(out.size() - 1), &out_length,
                                         SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    throw DbError(DiagnosticText(SQL_HANDLE_DBC, handles->dbc, "cannot open the connection"));
  }
  handles->connected = true;
  return handles;
}

}  // namespace

void DbConnection::PrepareSqliteSession() {
  // SQLite opens lazily: reading the schema now makes a file that is not a database fail the
  // open, as a server refuses a database it cannot attach.
  QueryNative("SELECT count(*) FROM main.sqlite_master");
  ExecuteNative(
      "CREATE TEMP VIEW IF NOT EXISTS sysobjects AS "
      "SELECT name, type AS xtype FROM main.sqlite_master");
  const std::string module = ArrSplitExtensionPath();
  arr_split_problem_.clear();
  try {
    if (module.empty()) throw DbError("no extension module is configured");
    // A load that silently did nothing must not pass: the function has to answer.
    QueryNative("SELECT load_extension(" + SqliteLiteral(module) + ")");
    Recordset probe = QueryNative("SELECT arr_split('7.5.13', '.', 3), qm_float_checked('7.5')");
    if (probe.eof() || probe.Text(0) != "13" || probe.Text(1) != "7.5") {
      throw DbError("the extension gives a wrong answer");
    }
  } catch (const DbError& e) {
    arr_split_problem_ = "the SQLite extension for dbo.arr_split (" + module +
                         ") is not available: " + e.what();
    LogLine(arr_split_problem_);
  }
}

std::string DbConnection::Translate(const std::string& sql) const {
  if (!sqlite_) return sql;
  std::string translated = TranslateForSqlite(sql);
  if (!arr_split_problem_.empty() &&
      (FindNoCase(translated, "arr_split(") != std::string::npos ||
       FindNoCase(translated, "qm_float_checked(") != std::string::npos)) {
    throw DbError(arr_split_problem_);
  }
  return translated;
}

Recordset DbConnection::Query(const std::string& sql, const std::vector<std::string>* parameters) {
  return Run(Translate(sql), parameters, true);
}

void DbConnection::Execute(const std::string& sql, const std::vector<std::string>* parameters) {
  Run(Translate(sql), parameters, false);
}

void DbConnection::ExecuteNative(const std::string& sql) { Run(sql, nullptr, false); }

Recordset DbConnection::QueryNative(const std::string& sql) { return Run(sql, nullptr, true); }

Recordset DbConnection::Run(const std::string& sql, const std::vector<std::string>* parameters,
                            bool want_rows) {
  if (!is_open()) throw DbError(kClosedConnectionText);
  Statement stmt(handles_->dbc);
  if (command_timeout_ > 0) {
    SQLSetStmtAttrW(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(command_timeout_)), 0);
  }
  std::u16string text = Wide(sql);
  // Parameter buffers must stay in place until the statement has run.
  std::vector<std::u16string> values;
  std::vector<SQLLEN> lengths;
  SQLRETURN rc;
  if (parameters != nullptr && parameters->size() > 1) {
    rc = SQLPrepareW(stmt.get(), WidePtr(text), static_cast<SQLINTEGER>(text.size()));
    if (!SQL_SUCCEEDED(rc)) stmt.Fail("cannot prepare the statement");
    values.reserve(parameters->size());
    lengths.reserve(parameters->size());
    for (size_t i = 1; i < parameters->size(); ++i) {
      values.push_back(Wide((*parameters)[i]));
      std::u16string& value = values.back();
      lengths.push_back(static_cast<SQLLEN>(value.size() * sizeof(char16_t)));
      // Declared size 100; a longer value is declared at its own length rather than cut.
      const SQLULEN declared = std::max<SQLULEN>(100, value.size());
      value.push_back(u'\0');
      rc = SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(i), SQL_PARAM_INPUT,
                            SQL_C_WCHAR, SQL_VARCHAR, declared, 0, value.data(),
                            static_cast<SQLLEN>(value.size() * sizeof(char16_t)),
                            &lengths.back());
      if (!SQL_SUCCEEDED(rc)) stmt.Fail("cannot bind a parameter");
    }
    rc = SQLExecute(stmt.get());
  } else {
    rc = SQLExecDirectW(stmt.get(), WidePtr(text), static_cast<SQLINTEGER>(text.size()));
  }
  if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) stmt.Fail("the statement failed");
  if (!want_rows) return Recordset();

  SQLSMALLINT column_count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(stmt.get(), &column_count))) {
    stmt.Fail("cannot read the result");
  }
  std::vector<std::string> columns;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(column_count); ++c) {
    std::u16string name(512, u'\0');
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(SQLDescribeColW(stmt.get(), c, WidePtr(name),
                                       static_cast<SQLSMALLINT>(name.size() - 1), &name_length,
                                       &type, &size, &digits, &nullable))) {
      stmt.Fail("cannot describe a column");
    }
    columns.push_back(FromWideBuffer(name));
  }
  std::vector<Recordset::Row> rows;
  if (column_count > 0) {
    for (;;) {
      rc = SQLFetch(stmt.get());
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) stmt.Fail("cannot fetch a row");
      Recordset::Row row;
      row.reserve(columns.size());
      for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(column_count); ++c) {
        row.push_back(ReadColumn(stmt, c));
      }
      rows.push_back(std::move(row));
    }
  }
  return Recordset(std::move(columns), std::move(rows));
}

}  // namespace quillmend

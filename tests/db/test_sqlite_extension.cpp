// The SQLite session and the module that provides dbo.arr_split: a module that is missing or
// answers wrongly leaves the database usable, and only the statements that need its functions
// fail, with a message that names the module.
#include <gtest/gtest.h>

#include <string>

#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/db_sandbox.h"
#include "support/scoped_environment.h"

namespace quillmend::testing {
namespace {

// Opens the sandbox's clinic database with module as the extension; returns the connection's
// account of the module and leaves what the session said in *said.
std::string OpenWithModule(DbSandbox& box, const std::string& module, std::string* said) {
  ScopedEnvironment forced("QUILLMEND_SQLITE_EXTENSION", module);
  ::testing::internal::CaptureStderr();
  OpenLocalDatabase(box.state);
  *said = ::testing::internal::GetCapturedStderr();
  if (!box.state.g_Connect || !box.state.g_Connect->is_open()) return "not open";
  return box.state.g_Connect->arr_split_problem();
}

// The DbError text of running sql, or "" when it ran.
std::string FailureOf(DbConnection& connection, const std::string& sql) {
  try {
    connection.Query(sql);
  } catch (const DbError& error) {
    return error.what();
  }
  return "";
}

void ExpectOnlyTheFunctionsRefused(DbConnection& connection, const std::string& problem) {
  EXPECT_EQ(connection.Query("select upper('still usable')").Text(0), "STILL USABLE");
  EXPECT_EQ(FailureOf(connection, "select dbo.arr_split('7.5.13', '.', 3)"), problem);
  EXPECT_EQ(FailureOf(connection, "select cast('7.5' as float)"), problem);
}

TEST(SqliteExtension, AMissingModuleIsReportedAndRefusesOnlyWhatNeedsIt) {
  DbSandbox box;
  const std::string missing = box.folder.Sub("no-such-module.so");
  std::string said;
  const std::string problem = OpenWithModule(box, missing, &said);
  EXPECT_EQ(problem.rfind("the SQLite extension for dbo.arr_split (" + missing +
                              ") is not available: ",
                          0),
            0u)
      << problem;
  EXPECT_NE(said.find(problem), std::string::npos) << said;
  ExpectOnlyTheFunctionsRefused(*box.state.g_Connect, problem);
  EXPECT_EQ(box.FailureLog(), "");
}

TEST(SqliteExtension, AModuleThatAnswersWronglyIsNotTrusted) {
  const std::string wrong = QUILLMEND_WRONG_EXTENSION;
  if (wrong.empty()) GTEST_SKIP() << "no host build of the wrongly answering module";
  DbSandbox box;
  std::string said;
  const std::string problem = OpenWithModule(box, wrong, &said);
  EXPECT_EQ(problem, "the SQLite extension for dbo.arr_split (" + wrong +
                         ") is not available: the extension gives a wrong answer");
  EXPECT_NE(said.find(problem), std::string::npos) << said;
  ExpectOnlyTheFunctionsRefused(*box.state.g_Connect, problem);
}

}  // namespace
}  // namespace quillmend::testing

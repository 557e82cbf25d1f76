// The access routines against SQLite through the real ODBC stack.
#include <gtest/gtest.h>

#include <fstream>

#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/local_tables.h"
#include "db/sqlite_dialect.h"
#include "db/version_bookkeeping.h"
#include "startup/settings.h"
#include "db/db_sandbox.h"

namespace quillmend::testing {
namespace {

// A database file the driver cannot create (its folder does not exist).
const char* const kMissingDatabase = "/nonexistent-quillmend/clinic.db";

int CountKeysStartingWith(const std::string& log, const std::string& prefix) {
  int count = 0;
  size_t pos = 0;
  while ((pos = log.find("\n" + prefix, pos)) != std::string::npos) {
    ++count;
    ++pos;
  }
  return count;
}

TEST(OpenLocalDatabase, DsnLessFormOpensTheSqliteClinicAndDetectsTheDialect) {
  DbSandbox box;
  OpenLocalDatabase(box.state);
  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open());
  EXPECT_EQ(box.state.g_Connect->connection_string(),
            "driver={SQL Server};server=local;uid=sa;pwd=;database=" + DriverPath(box.clinic));
  EXPECT_TRUE(box.state.g_Connect->is_sqlite());
  EXPECT_EQ(box.state.g_Connect->arr_split_problem(), "");
  EXPECT_EQ(box.FailureLog(), "");
}

TEST(OpenLocalDatabase, ServerWithoutDbnameUsesTheDataSourceFormDirectly) {
  DbSandbox box;
  WriteIniValue(box.folder.Sub("ORVEL_H.ini"), "DB", "DBNAME", "");
  const std::string dsn = RegisterSqliteDsn(box.clinic);
  WriteClinicDsnSettings(box.folder.path(), dsn);
  WriteIniValue(box.folder.Sub("ORVEL_H.ini"), "DB", "UID", "doctor");
  WriteIniValue(box.folder.Sub("ORVEL_H.ini"), "DB", "PWD", "pw");
  OpenLocalDatabase(box.state);
  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open());
  EXPECT_EQ(box.state.g_Connect->connection_string(), "DSN=" + dsn + ";uid=doctor;pwd=pw;");
  EXPECT_EQ(box.FailureLog(), "");
}

TEST(OpenLocalDatabase, FailingDsnLessFormFallsBackToAWorkingDsnWithoutLogging) {
  DbSandbox box;
  // A mistyped database name: the DSN-less open fails instead of making an empty database.
  const std::string mistyped = box.folder.Sub("clinc.db");
  WriteIniValue(box.folder.Sub("ORVEL_H.ini"), "DB", "DBNAME", DriverPath(mistyped));
  const std::string dsn = RegisterSqliteDsn(box.clinic);
  WriteClinicDsnSettings(box.folder.path(), dsn);
  OpenLocalDatabase(box.state);
  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open());
  EXPECT_EQ(box.state.g_Connect->connection_string(), "DSN=" + dsn + ";uid=sa;pwd=;");
  EXPECT_EQ(box.FailureLog(), "");
  EXPECT_FALSE(FileExists(mistyped));
  Recordset rs;
  EXPECT_TRUE(OpenRecordset(box.state, rs, "select 문자내용 from 시스템환경일자별"));
}

TEST(OpenLocalDatabase, BothFormsFailingLogOneKeyAndLeaveTheConnectionClosed) {
  DbSandbox box;
  WriteIniValue(box.folder.Sub("ORVEL_H.ini"), "DB", "DBNAME", kMissingDatabase);
  WriteClinicDsnSettings(box.folder.path(), RegisterBrokenDsn());
  OpenLocalDatabase(box.state);
  EXPECT_EQ(box.state.g_Connect, nullptr);
  const std::string log = box.FailureLog();
  EXPECT_EQ(CountKeysStartingWith(log, "g_Connect "), 1) << log;
  EXPECT_EQ(CountKeysStartingWith(log, "g_Connect2"), 0);
  Recordset rs;
  try {
    OpenRecordset(box.state, rs, "select 1");
    FAIL() << "a closed connection answered";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), kClosedConnectionText);
  }
  EXPECT_FALSE(box.host.busy());
}

TEST(OpenRecordset, RowsEmptyResultsAndBadInputs) {
  DbSandbox box;
  OpenLocalDatabase(box.state);
  Recordset rs;
  EXPECT_TRUE(OpenRecordset(box.state, rs, "select 기타내용 from 시스템환경일자별"));
  EXPECT_TRUE(rs.is_open());
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_FALSE(OpenRecordset(box.state, rs, "select 기타내용 from 시스템환경일자별 where 1 = 0"));
  EXPECT_FALSE(rs.is_open());
  // A statement the dialect cannot place is refused with a clear text, not sent half-translated.
  try {
    OpenRecordset(box.state, rs, "select getdate()");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("getdate"), std::string::npos);
  }
  EXPECT_THROW(OpenRecordset(box.state, rs, "select * from 없는표"), DbError);
  EXPECT_FALSE(box.host.busy());
}

TEST(OpenRecordsetOn, FailureIsShownWithThePrefixAndAnsweredFalse) {
  DbSandbox box;
  OpenLocalDatabase(box.state);
  Recordset rs;
  EXPECT_FALSE(OpenRecordsetOn(box.state, rs, "select * from 없는표", box.state.g_Connect));
  ASSERT_EQ(box.host.shown().size(), 1u);
  EXPECT_EQ(box.host.shown()[0].rfind("Quillmend: DB 연결 오류 : ", 0), 0u) << box.host.shown()[0];
  EXPECT_NE(box.host.shown()[0].find("없는표"), std::string::npos);
  // An unset connection gives the closed-connection text.
  EXPECT_FALSE(OpenRecordsetOn(box.state, rs, "select 1", nullptr));
  EXPECT_EQ(box.host.shown().back(), std::string("Quillmend: DB 연결 오류 : ") + kClosedConnectionText);
  EXPECT_FALSE(box.host.busy());
}

TEST(ExecuteWithParams, BindsElementsOneToTheUpperBoundAndNeverElementZero) {
  DbSandbox box;
  OpenLocalDatabase(box.state);
  ExecuteStatement(box.state, "CREATE TABLE 여덟 (a varchar(100), b varchar(100), c varchar(100), "
                              "d varchar(100), e varchar(100), f varchar(100), g varchar(100), h varchar(100))",
                   box.state.g_Connect);
  const ParamList values = {"영번째는 보내지 않음", "1", "둘", "three", "", "it's", "6", "칠", "8"};
  EXPECT_TRUE(ExecuteWithParams(box.state, "insert into 여덟 values(?,?,?,?,?,?,?,?)", values,
                                box.state.g_Connect));
  EXPECT_EQ(QuerySqlite(box.clinic, "SELECT * FROM 여덟"),
            std::vector<std::string>{"1|둘|three||it's|6|칠|8"});
  // A statement the database refuses is raised to the caller.
  EXPECT_THROW(ExecuteWithParams(box.state, "insert into 없는표 values(?)", {"", "1"},
                                 box.state.g_Connect),
               DbError);
  // A value longer than the declared size is stored whole, not cut.
  const std::string long_value(150, 'x');
  ExecuteWithParams(box.state, "insert into 여덟(a) values(?)", {"", long_value}, box.state.g_Connect);
  EXPECT_EQ(QuerySqlite(box.clinic, "SELECT length(a) FROM 여덟 WHERE b IS NULL"),
            std::vector<std::string>{"150"});
}

TEST(QueryWithParams, FindsRowsComparesTextWithoutCaseAndShowsFailuresAlone) {
  DbSandbox box;
  OpenLocalDatabase(box.state);
  Recordset rs;
  EXPECT_TRUE(QueryWithParams(box.state, rs,
                              "select 문자내용 from 시스템환경일자별 where 기타내용 = ? ",
                              {"", "SYSSVERSIONNO"}));
  EXPECT_EQ(rs.Text(0), "7.5.12");
  EXPECT_FALSE(QueryWithParams(box.state, rs,
                               "select 문자내용 from 시스템환경일자별 where 기타내용 = ? ",
                               {"", "없음"}));
  EXPECT_FALSE(rs.is_open());
  EXPECT_TRUE(box.host.shown().empty());
  EXPECT_FALSE(QueryWithParams(box.state, rs, "select * from 없는표 where a = ?", {"", "1"}));
  ASSERT_EQ(box.host.shown().size(), 1u);
  EXPECT_EQ(box.host.shown()[0].find("DB 연결 오류"), std::string::npos);
  EXPECT_NE(box.host.shown()[0].find("없는표"), std::string::npos);
}

TEST(Unicode, HangulTableColumnAndValueRoundTrip) {
  DbSandbox box;
  OpenLocalDatabase(box.state);
  ExecuteStatement(box.state, "CREATE TABLE 환자명부 (이름 varchar(50), 메모 varchar(200))",
                   box.state.g_Connect);
  const std::string memo = "가나다 한글 ㄱㄴ 뷁 — ünï 😀";
  ExecuteWithParams(box.state, "insert into 환자명부(이름, 메모) values(?, ?)", {"", "홍길동", memo},
                    box.state.g_Connect);
  ExecuteStatement(box.state, "insert into 환자명부(이름, 메모) values('김철수', '메모')",
                   box.state.g_Connect);
  Recordset rs;
  ASSERT_TRUE(OpenRecordset(box.state, rs, "select 이름, 메모 from 환자명부 where 이름 = '홍길동'"));
  EXPECT_EQ(rs.columns(), (std::vector<std::string>{"이름", "메모"}));
  EXPECT_EQ(rs.Text("메모"), memo);
  // A value longer than one read buffer comes back whole.
  const std::string big(5000, 'z');
  ExecuteWithParams(box.state, "insert into 환자명부(이름, 메모) values(?, ?)", {"", "긴글", big + "끝"},
                    box.state.g_Connect);
  ASSERT_TRUE(OpenRecordset(box.state, rs, "select 메모 from 환자명부 where 이름 = '긴글'"));
  EXPECT_EQ(rs.Text(0), big + "끝");
}

TEST(BadDatabases, NotSqliteLockedAndMissingDriverFailCleanly) {
  DbSandbox box;
  // A file that is not a SQLite database: the open may succeed, the first statement fails.
  const std::string junk = box.folder.Sub("junk.db");
  WriteFileBytes(junk, std::string(4096, '\x5a'));
  WriteClinicDbSettings(box.folder.path(), junk);
  WriteClinicDsnSettings(box.folder.path(), RegisterBrokenDsn());
  OpenLocalDatabase(box.state);
  EXPECT_EQ(box.state.g_Connect, nullptr);
  EXPECT_NE(box.FailureLog().find("g_Connect "), std::string::npos);

  // A locked database: a writer holds an exclusive lock; a reader gives up after its command
  // time-out with the database's error instead of hanging.
  auto reader = std::make_shared<DbConnection>();
  reader->SetCommandTimeout(1);
  reader->Open("driver={SQL Server};database=" + DriverPath(box.clinic));
  Recordset rs;
  EXPECT_TRUE(OpenRecordsetOn(box.state, rs, "select 기타내용 from 시스템환경일자별", reader));
  auto locker = OpenSqliteFile(box.clinic);
  locker->ExecuteNative("BEGIN EXCLUSIVE");
  EXPECT_FALSE(OpenRecordsetOn(box.state, rs, "select 기타내용 from 시스템환경일자별", reader));
  ASSERT_FALSE(box.host.shown().empty());
  EXPECT_NE(box.host.shown().back().find("locked"), std::string::npos) << box.host.shown().back();
  locker->ExecuteNative("ROLLBACK");
  EXPECT_TRUE(OpenRecordsetOn(box.state, rs, "select 기타내용 from 시스템환경일자별", reader));
}

}  // namespace
}  // namespace quillmend::testing

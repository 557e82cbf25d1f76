// The product settings reads, the version a pass starts from, the raise of the product's
// recorded version, and the local rows of applied programs, against a SQLite clinic database.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/db_sandbox.h"
#include "db/local_tables.h"
#include "db/version_bookkeeping.h"

namespace quillmend::testing {
namespace {

using Rows = std::vector<std::string>;

void Open(DbSandbox& box) {
  OpenLocalDatabase(box.state);
  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open()) << box.FailureLog();
  box.sql.clear();
}

TEST(GetCustomerCode, TakesTheFirstRowOfTheLatestDateOfThisClinicsInstitutions) {
  struct Case {
    const char* name;
    std::function<void(const std::string& db)> rows;  // added to the default settings
    std::string start;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"the latest date's code", [](auto&) {}, "", "C1001"},
      {"an older date does not count",
       [](const std::string& db) {
         AddSettingRow(db, "syss거래처코드", "OLD", "2023-01-01", "11100001");
       },
       "", "C1001"},
      {"another institution's row is not this clinic's",
       [](const std::string& db) {
         ExecSqlite(db, {"DELETE FROM 시스템환경일자별 WHERE 기타내용 = 'syss거래처코드'"});
         AddSettingRow(db, "syss거래처코드", "FOREIGN", "2024-03-05", "99900009");
       },
       "", ""},
      {"two institutions of the clinic: the first row",
       [](const std::string& db) {
         ExecSqlite(db, {"INSERT INTO 요양기관기호 VALUES ('11100002')"});
         AddSettingRow(db, "syss거래처코드", "C2002", "2024-03-05", "11100002");
       },
       "", "C1001"},
      {"the latest date has no code row: the previous value stays",
       [](const std::string& db) { AddSettingRow(db, "syssetc", "x", "2024-04-01", "11100001"); },
       "KEPT", "KEPT"},
      // The server compares the char(10) date with the latest datetime: a latest row with a time
      // of day matches no date.
      {"a latest date with a time of day",
       [](const std::string& db) {
         AddSettingRow(db, "syss거래처코드", "LATER", "2024-04-01 09:30:00", "11100001");
       },
       "", ""},
      {"a row without a date is never the latest",
       [](const std::string& db) {
         ExecSqlite(db, {"INSERT INTO 시스템환경일자별 VALUES ('syss거래처코드', 'UNDATED', NULL, "
                         "'11100001')"});
       },
       "", "C1001"},
      {"a NULL value reads as empty",
       [](const std::string& db) {
         ExecSqlite(db, {"UPDATE 시스템환경일자별 SET 문자내용 = NULL WHERE 기타내용 = 'syss거래처코드'"});
       },
       "KEPT", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DbSandbox box;
    c.rows(box.clinic);
    Open(box);
    box.state.g_CustomerCode = c.start;
    GetCustomerCode(box.state);
    EXPECT_EQ(box.state.g_CustomerCode, c.expected);
  }
}

TEST(GetCustomerCode, MissingProductTablesAndAClosedConnectionReachTheCaller) {
  DbSandbox box;
  ExecSqlite(box.clinic, {"DROP TABLE 요양기관기호"});
  Open(box);
  EXPECT_THROW(GetCustomerCode(box.state), DbError);
  EXPECT_THROW(GetInstalledVersion(box.state), DbError);
  box.state.g_Connect.reset();
  EXPECT_THROW(GetCustomerCode(box.state), DbError);
  EXPECT_THROW(CreateVersionTables(box.state), DbError);
  EXPECT_FALSE(box.host.busy());
}

TEST(GetInstalledVersion, StartsFromTheOlderOfTheRecordedAndTheLastVersion) {
  struct Case {
    std::string recorded;  // "" : no syssVersionno row
    std::string last;      // "<none>": no [Version] Last key
    std::string start;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"2.5", "2.4", "", "2.4"},
      {"2.4", "2.5", "", "2.4"},
      {"7.5.10", "7.5.9", "", "7.5.9"},   // parts compare as numbers: 7.5.10 is not skipped
      {"7.5.9", "7.5.10", "", "7.5.9"},
      {"100.0.1", "99.9.9", "", "99.9.9"},
      {"99.9.9", "100.0.1", "", "99.9.9"},  // long forms come after short ones
      {"7.5.12", "7.5.12", "", "7.5.12"},
      {"", "<none>", "", "1.0"},          // nothing recorded: Last, "1.0" when missing
      {"", "7.6.0", "7.5.1", "7.6.0"},    // no row: Last, not what an earlier pass left
      {"7.a.1", "7.5.12", "", "7.a.1"},   // a part without digits comes before numbered ones
      {"7.5", "a.1", "", "a.1"},
      {"10.0", ".5", "", ".5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recorded + " / " + c.last);
    DbSandbox box({.version = c.recorded});
    if (c.last != "<none>") box.WriteLastVersion(c.last);
    Open(box);
    box.state.g_InstalledVersion = c.start;
    GetInstalledVersion(box.state);
    EXPECT_EQ(box.state.g_InstalledVersion, c.expected);
    EXPECT_EQ(box.state.g_CustomerCode, "C1001");  // read on the way
  }
}

TEST(GetInstalledVersion, ANullOrBlankRecordFallsBackToTheLastVersion) {
  for (const char* value : {"NULL", "''", "'   '"}) {
    SCOPED_TRACE(value);
    DbSandbox box;
    ExecSqlite(box.clinic, {std::string("UPDATE 시스템환경일자별 SET 문자내용 = ") + value +
                            " WHERE 기타내용 = 'syssVersionno'"});
    box.WriteLastVersion("7.5.12");
    Open(box);
    GetInstalledVersion(box.state);
    EXPECT_EQ(box.state.g_InstalledVersion, "7.5.12");
  }
}

TEST(UpdateProductVersion, RaisesTheRecordOfTheLatestDateOnlyToANewerVersion) {
  struct Case {
    std::string recorded;
    std::string last;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"7.5.12", "7.5.13", "7.5.13"},
      {"99.8", "100.1", "100.1"},  // a two-digit major part moving to three digits
      {"2.9", "2.10", "2.10"},     // parts compare as numbers
      {"7.5.9", "7.5.10", "7.5.10"},
      {"7.5.10", "7.5.9", "7.5.10"},  // never lowered
      {"10.0", "9.0", "10.0"},
      {"7.5.13", "7.5.13", "7.5.13"},
      {"100.1", "99.8", "100.1"},
      {"7.5.13", "7.5.13a", "7.5.13a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recorded + " -> " + c.last);
    DbSandbox box({.version = c.recorded});
    // Another institution of the clinic on the latest date, and an older date.
    ExecSqlite(box.clinic, {"INSERT INTO 요양기관기호 VALUES ('11100002')"});
    AddSettingRow(box.clinic, "syssVersionno", c.recorded, "2024-03-05", "11100002");
    AddSettingRow(box.clinic, "syssVersionno", "1.0", "2023-12-31", "11100001");
    box.WriteLastVersion(c.last);
    Open(box);
    UpdateProductVersion(box.state);
    EXPECT_EQ(box.Clinic("SELECT 문자내용 FROM 시스템환경일자별 WHERE 기타내용 = 'syssVersionno' "
                         "ORDER BY 날짜내용 DESC, 요양기관기호"),
              (Rows{c.expected, c.expected, "1.0"}));
  }
}

TEST(UpdateProductVersion, EmptyLastVersionNullRecordsAndClosedConnections) {
  {
    SCOPED_TRACE("a blank Last sends nothing");
    DbSandbox box;
    box.WriteLastVersion("   ");
    Open(box);
    UpdateProductVersion(box.state);
    EXPECT_EQ(box.sql, Rows{});
  }
  {
    SCOPED_TRACE("a NULL record is raised");
    DbSandbox box;
    ExecSqlite(box.clinic, {"UPDATE 시스템환경일자별 SET 문자내용 = NULL WHERE 기타내용 = 'syssVersionno'"});
    box.WriteLastVersion("7.5.13");
    Open(box);
    UpdateProductVersion(box.state);
    EXPECT_EQ(box.Clinic("SELECT 문자내용 FROM 시스템환경일자별 WHERE 기타내용 = 'syssVersionno'"),
              Rows{"7.5.13"});
  }
  {
    SCOPED_TRACE("missing product tables and a closed connection change nothing visible");
    DbSandbox box;
    ExecSqlite(box.clinic, {"DROP TABLE 시스템환경일자별"});
    box.WriteLastVersion("7.5.13");
    Open(box);
    EXPECT_NO_THROW(UpdateProductVersion(box.state));
    box.state.g_Connect.reset();
    EXPECT_NO_THROW(UpdateProductVersion(box.state));
    EXPECT_TRUE(box.host.shown().empty());
    EXPECT_FALSE(box.host.busy());
  }
}

TEST(AddVersionFileRecord, WritesAWaitingRowWithTheTimeAndFailsLoudlyWithoutTheTable) {
  DbSandbox box;
  Open(box);
  box.state.g_CustomerCode = "C1001";
  box.state.g_HostName = "진료실";
  box.state.g_LocalIP = "192.168.0.20";
  ProbeDatabaseDialect(box.state);
  EXPECT_THROW(AddVersionFileRecord(box.state, "7.5.13", "Tandrel.exe", "7.5.13.1", "Server"),
               DbError);
  CreateVersionTables(box.state);
  AddVersionFileRecord(box.state, "7.5.13", "Tandrel.exe", "7.5.13.1", "Server");
  AddVersionFileRecord(box.state, "7.5.13", "Velmont.exe", "", "Server_NewUpdate");
  const Rows rows = box.Clinic(
      "SELECT ID, 고객번호, 버전, 이름, IP, 프로그램명, 프로그램버전, 상태, 전송여부, 일자 FROM "
      "버전파일개별 ORDER BY ID");
  ASSERT_EQ(rows.size(), 2u);
  const std::regex expected_first(
      R"(1\|C1001\|7\.5\.13\|진료실\|192\.168\.0\.20\|Tandrel\.exe\|7\.5\.13\.1\|Server\|N\|)"
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
  EXPECT_TRUE(std::regex_match(rows[0], expected_first)) << rows[0];
  EXPECT_EQ(rows[1].substr(0, rows[1].rfind('|')),
            "2|C1001|7.5.13|진료실|192.168.0.20|Velmont.exe||Server_NewUpdate|N");
}

}  // namespace
}  // namespace quillmend::testing

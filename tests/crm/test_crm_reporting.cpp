// The CRM connection and what is reported to it: support records with daily receipt numbers,
// program rows, and the rows that waited from offline passes; a CRM that cannot be reached or
// refuses every statement loses nothing locally and is never reported as done.
#include <gtest/gtest.h>

#include "crm/crm_sandbox.h"
#include "db/db_connection.h"
#include "db/local_tables.h"
#include "db/version_bookkeeping.h"
#include "startup/settings.h"
#include "update/update_discovery.h"

namespace quillmend::testing {
namespace {

using Rows = std::vector<std::string>;

int CountKeys(const std::string& log, const std::string& prefix) {
  int count = 0;
  for (size_t pos = log.find("\n" + prefix); pos != std::string::npos;
       pos = log.find("\n" + prefix, pos + 1)) {
    ++count;
  }
  return count;
}

// Both connections open, the local tables there, the customer code read.
void Ready(CrmSandbox& box) {
  box.Connect();
  ProbeDatabaseDialect(box.state);
  CreateVersionTables(box.state);
  GetCustomerCode(box.state);
  box.sql.clear();
}

TEST(ConnectCrm, OpensTheCrmOfTheProgramFolderWithTheFixedLoginAndConfiguredServer) {
  if (!RelativeDatabaseNamesFollowCurrentFolder()) GTEST_SKIP() << kRelativeDatabaseNamesSkip;
  CrmSandbox box;
  WriteIniValue(box.folder.Sub("quillmend.ini"), "CRM", "Server", "crm.vendor.example,14330");
  ConnectCrm(box.state);
  ASSERT_TRUE(box.state.g_Connect2 && box.state.g_Connect2->is_open());
  EXPECT_EQ(box.state.g_Connect2->connection_string(),
            "driver={SQL Server};server=crm.vendor.example,14330;uid=kelpto;pwd=kelpto;"
            "database=CRM;Catalog=CRM");
  EXPECT_EQ(box.state.g_Connect2->command_timeout(), 20);
  EXPECT_EQ(box.FailureLog(), "");
  // Opening again replaces the connection.
  auto first = box.state.g_Connect2;
  ConnectCrm(box.state);
  EXPECT_NE(box.state.g_Connect2, first);
  EXPECT_TRUE(box.state.g_Connect2->is_open());
}

TEST(ConnectCrm, AnUnreachableCrmIsLoggedOnceAndEveryUseFailsWithoutCrashing) {
  if (!RelativeDatabaseNamesFollowCurrentFolder()) GTEST_SKIP() << kRelativeDatabaseNamesSkip;
  CrmSandbox box;
  WriteFileBytes(box.crm, std::string(2048, 'Q'));  // not a database
  box.Connect();
  ASSERT_NE(box.state.g_Connect2, nullptr);
  EXPECT_FALSE(box.state.g_Connect2->is_open());
  const std::string log = box.FailureLog();
  EXPECT_EQ(CountKeys(log, "g_Connect2 "), 1) << log;
  EXPECT_EQ(CountKeys(log, "g_Connect "), 0) << log;

  ProbeDatabaseDialect(box.state);
  CreateVersionTables(box.state);
  GetCustomerCode(box.state);
  try {
    SendCustomerVersion(box.state, "7.5.13", "Tandrel.exe", "1", "Internet");
    FAIL() << "a send on a closed CRM connection succeeded";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), kClosedConnectionText);
  }
  AddSupportRecord(box.state, "Ver 7.5.13 업데이트 완료");  // ignored
  Recordset rs;
  box.state.g_InstalledVersion = "7.5.12";
  EXPECT_FALSE(OpenCatalogue(box.state, rs));
  ASSERT_EQ(box.host.shown().size(), 1u);
  EXPECT_EQ(box.host.shown()[0], std::string("Quillmend: DB 연결 오류 : ") + kClosedConnectionText);
  EXPECT_THROW(m_filelist(box.state, "7.5.13"), DbError);
  EXPECT_FALSE(box.host.busy());
}

TEST(AddSupportRecord, ReceiptNumbersCountPerDayAndEveryColumnIsFilled) {
  CrmSandbox box;
  Ready(box);
  const std::string today = Today();

  // The first record of the day.
  AddSupportRecord(box.state, "Ver 7.5.13 업데이트 완료");
  const Rows first = box.Crm(
      "SELECT 접수번호, 접수일자, length(접수시간), 접수자, 고객번호, 우선순위, 처리방법, 요구사항, "
      "처리내용, 처리자, 처리일자, 처리여부, 프로그램명, 접수시간 = 처리시작시간 AND 접수시간 = "
      "처리완료시간 FROM 고객지원기록");
  EXPECT_EQ(first, Rows{TodayDigits() + "00001|" + today +
                        "|5|인터넷|C1001|1|1|Ver 7.5.13 업데이트 완료(10.0.0.7:접수실-PC)|"
                        "Ver 7.5.13 업데이트 완료|인터넷|" + today + "|2|오르벨|1"});
  EXPECT_EQ(box.Crm("SELECT * FROM 고객요구처리코드"),
            Rows{TodayDigits() + "00001|1|3|P.프로그램|||"});

  // Numbers already filed today (and a larger one on another day): the next one follows the
  // largest of today's.
  ExecSqlite(box.crm, {"DELETE FROM 고객지원기록",
                       "INSERT INTO 고객지원기록(접수번호, 접수일자) VALUES ('" + TodayDigits() +
                           "00007', '" + today + "')",
                       "INSERT INTO 고객지원기록(접수번호, 접수일자) VALUES ('" + TodayDigits() +
                           "00012', '" + today + "')",
                       "INSERT INTO 고객지원기록(접수번호, 접수일자) VALUES ('2001010100099', "
                       "'2001-01-01')"});
  AddSupportRecord(box.state, "Ver 7.5.14 업데이트완료");
  EXPECT_EQ(box.Crm("SELECT 접수번호 FROM 고객지원기록 WHERE 처리내용 IS NOT NULL"),
            Rows{TodayDigits() + "00013"});
  EXPECT_EQ(box.Crm("SELECT count(*) FROM 고객요구처리코드 WHERE 접수번호 = '" + TodayDigits() +
                    "00013'"),
            Rows{"1"});

  // Without a customer code the number is still asked for, but nothing is filed.
  box.state.g_CustomerCode.clear();
  box.sql.clear();
  AddSupportRecord(box.state, "Ver 7.5.15 업데이트 완료");
  ASSERT_EQ(box.sql.size(), 1u);
  EXPECT_EQ(box.sql[0].rfind("select case when isnull(max(접수번호)", 0), 0u);
  EXPECT_EQ(box.Crm("SELECT count(*) FROM 고객지원기록"), Rows{"4"});
  EXPECT_TRUE(box.host.shown().empty());
}

struct Pending {
  CrmSandbox box;
  Pending() {
    Ready(box);
    box.WriteLastVersion("7.5.13");
    AddVersionFileRecord(box.state, "7.5.13", "Tandrel.exe", "7.5.13.1", "Server");
    AddVersionFileRecord(box.state, "7.5.13", "Velmont.exe", "7.5.13.2", "Server_NewUpdate");
    AddVersionFileRecord(box.state, "7.5.13", "Qdb.dll", "7.5.13.3", "Server");
    AddVersionFileRecord(box.state, "7.5.12", "Old.exe", "7.5.12.1", "Server");
    box.sql.clear();
  }
  Rows Marks() const {
    return box.Clinic("SELECT 버전, 프로그램명, 전송여부 FROM 버전파일개별 ORDER BY ID");
  }
};

TEST(SendPendingVersionRecords, ThreeOfflineRowsAreSentAndMarkedInOnePass) {
  Pending p;
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.box.Crm("SELECT 고객번호, 버전, 이름, ip, 프로그램명, 프로그램버전, 상태 FROM 오르벨거래처버전"),
            (Rows{"C1001|7.5.13|접수실-PC|10.0.0.7|Tandrel.exe|7.5.13.1|Server",
                  "C1001|7.5.13|접수실-PC|10.0.0.7|Velmont.exe|7.5.13.2|Server_NewUpdate",
                  "C1001|7.5.13|접수실-PC|10.0.0.7|Qdb.dll|7.5.13.3|Server",
                  "C1001|7.5.12|접수실-PC|10.0.0.7|Old.exe|7.5.12.1|Server"}));
  // A row of an older version (written while this workstation was past it already) is reported
  // too, under its own version, after those of Last.
  EXPECT_EQ(p.Marks(), (Rows{"7.5.13|Tandrel.exe|Y", "7.5.13|Velmont.exe|Y", "7.5.13|Qdb.dll|Y",
                             "7.5.12|Old.exe|Y"}));
  EXPECT_EQ(p.box.Crm("SELECT 처리내용 FROM 고객지원기록"),
            (Rows{"Ver 7.5.13 업데이트완료", "Ver 7.5.12 업데이트완료"}));

  // A second pass finds nothing waiting: nothing is sent and no record is filed.
  p.box.sql.clear();
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.box.sql.size(), 1u);
  EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 오르벨거래처버전"), Rows{"4"});
  EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 고객지원기록"), Rows{"2"});
}

TEST(SendPendingVersionRecords, ARowWhoseSendFailedKeepsWaitingForTheNextPass) {
  Pending p;
  ExecSqlite(p.box.crm, {"CREATE TRIGGER refuse BEFORE INSERT ON 오르벨거래처버전 WHEN "
                         "NEW.프로그램명 = 'Velmont.exe' BEGIN SELECT RAISE(ABORT, 'refused'); END"});
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.Marks(), (Rows{"7.5.13|Tandrel.exe|Y", "7.5.13|Velmont.exe|N", "7.5.13|Qdb.dll|Y",
                             "7.5.12|Old.exe|Y"}));
  EXPECT_EQ(p.box.Crm("SELECT 프로그램명 FROM 오르벨거래처버전"),
            (Rows{"Tandrel.exe", "Qdb.dll", "Old.exe"}));
  EXPECT_TRUE(p.box.host.shown().empty());

  ExecSqlite(p.box.crm, {"DROP TRIGGER refuse"});
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.Marks()[1], "7.5.13|Velmont.exe|Y");
  EXPECT_EQ(p.box.Crm("SELECT 프로그램명 FROM 오르벨거래처버전"),
            (Rows{"Tandrel.exe", "Qdb.dll", "Old.exe", "Velmont.exe"}));
}

TEST(SendPendingVersionRecords, RowsReachTheCrmAsTheWorkstationThatWroteThemRecordedThem) {
  Pending p;
  ExecSqlite(p.box.clinic,
             {"DELETE FROM 버전파일개별",
              "INSERT INTO 버전파일개별(고객번호,버전,이름,IP,프로그램명,프로그램버전,상태,일자,전송여부) "
              "VALUES ('C1001','7.5.13','진료실-1','10.0.0.21','Velmont.exe','7.5.13.2','Server',"
              "'2024-03-04 08:15:00','N')",
              "INSERT INTO 버전파일개별(고객번호,버전,이름,IP,프로그램명,프로그램버전,상태,일자,전송여부) "
              "VALUES ('C1001','7.5.13','원무과','10.0.0.22','Velmont.exe','7.5.13.2',"
              "'Server_NewUpdate','2024-03-05 17:40:09','N')"});
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.box.Crm("SELECT 버전, 이름, ip, 프로그램명, 상태, 일자 FROM 오르벨거래처버전"),
            (Rows{"7.5.13|진료실-1|10.0.0.21|Velmont.exe|Server|2024-03-04 08:15:00",
                  "7.5.13|원무과|10.0.0.22|Velmont.exe|Server_NewUpdate|2024-03-05 17:40:09"}));
  // The support record is the sending workstation's own.
  EXPECT_EQ(p.box.Crm("SELECT 요구사항 FROM 고객지원기록"),
            Rows{"Ver 7.5.13 업데이트완료(10.0.0.7:접수실-PC)"});
  EXPECT_EQ(p.box.Clinic("SELECT 전송여부 FROM 버전파일개별"), (Rows{"Y", "Y"}));
}

TEST(SendPendingVersionRecords, ARowWrittenWhileTheRowsAreSentKeepsWaiting) {
  Pending p;
  // Another workstation records a program of the same version while the first row is being
  // sent: a trigger on this pass's own CRM connection writes it into the clinic database.
  DbConnection& crm = *p.box.state.g_Connect2;
  crm.ExecuteNative("ATTACH DATABASE '" + DriverPath(p.box.clinic) + "' AS clinic");
  crm.ExecuteNative(
      "CREATE TEMP TRIGGER meanwhile AFTER INSERT ON main.오르벨거래처버전 WHEN NEW.프로그램명 = "
      "'Tandrel.exe' BEGIN INSERT INTO 버전파일개별(고객번호,버전,이름,IP,프로그램명,"
      "프로그램버전,상태,일자,전송여부) VALUES ('C1001','7.5.13','원무과','10.0.0.22','Late.dll',"
      "'1','Server','2024-03-05 17:40:09','N'); END");
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.Marks(), (Rows{"7.5.13|Tandrel.exe|Y", "7.5.13|Velmont.exe|Y", "7.5.13|Qdb.dll|Y",
                             "7.5.12|Old.exe|Y", "7.5.13|Late.dll|N"}));
  EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 오르벨거래처버전 WHERE 프로그램명 = 'Late.dll'"), Rows{"0"});

  // The next pass sends it; what was sent already is not sent again, nor filed again.
  crm.ExecuteNative("DROP TRIGGER meanwhile");
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.Marks().back(), "7.5.13|Late.dll|Y");
  EXPECT_EQ(p.box.Crm("SELECT 프로그램명, 이름 FROM 오르벨거래처버전"),
            (Rows{"Tandrel.exe|접수실-PC", "Velmont.exe|접수실-PC", "Qdb.dll|접수실-PC",
                  "Old.exe|접수실-PC", "Late.dll|원무과"}));
  EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 고객지원기록"), Rows{"2"});
}

// A pass cut short (the agent killed, the CRM refusing a statement) after some of its reports
// leaves the rest to the next pass, which neither repeats nor loses any of them.
TEST(SendPendingVersionRecords, APassCutShortIsCompletedByTheNextWithoutDuplicates) {
  {
    SCOPED_TRACE("the support record refused: the rows keep waiting until it is filed");
    Pending p;
    ExecSqlite(p.box.crm, {"CREATE TRIGGER refuse BEFORE INSERT ON 고객지원기록 BEGIN SELECT "
                           "RAISE(ABORT, 'refused'); END"});
    SendPendingVersionRecords(p.box.state);
    EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 오르벨거래처버전"), Rows{"4"});
    EXPECT_EQ(p.Marks()[0], "7.5.13|Tandrel.exe|N");
    ExecSqlite(p.box.crm, {"DROP TRIGGER refuse"});
    SendPendingVersionRecords(p.box.state);
    EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 오르벨거래처버전"), Rows{"4"});
    EXPECT_EQ(p.box.Crm("SELECT 처리내용 FROM 고객지원기록"),
              (Rows{"Ver 7.5.13 업데이트완료", "Ver 7.5.12 업데이트완료"}));
    EXPECT_EQ(p.Marks()[0], "7.5.13|Tandrel.exe|Y");
  }
  {
    SCOPED_TRACE("everything reported but nothing marked");
    Pending p;
    ExecSqlite(p.box.clinic, {"CREATE TRIGGER refuse BEFORE UPDATE ON 버전파일개별 BEGIN SELECT "
                              "RAISE(ABORT, 'refused'); END"});
    SendPendingVersionRecords(p.box.state);
    EXPECT_EQ(p.Marks()[0], "7.5.13|Tandrel.exe|N");
    ExecSqlite(p.box.clinic, {"DROP TRIGGER refuse"});
    SendPendingVersionRecords(p.box.state);
    EXPECT_EQ(p.Marks(), (Rows{"7.5.13|Tandrel.exe|Y", "7.5.13|Velmont.exe|Y", "7.5.13|Qdb.dll|Y",
                               "7.5.12|Old.exe|Y"}));
    EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 오르벨거래처버전"), Rows{"4"});
    EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 고객지원기록"), Rows{"2"});
    EXPECT_EQ(p.box.Crm("SELECT count(*) FROM 고객요구처리코드"), Rows{"2"});
  }
}

// The CRM accepts the connection and then refuses every statement (its tables are missing).
TEST(SendPendingVersionRecords, ACrmRefusingEveryStatementLosesNothingAndReportsNothing) {
  Pending p;
  ExecSqlite(p.box.crm, {"DROP TABLE 오르벨거래처버전", "DROP TABLE 고객지원기록",
                         "DROP TABLE 고객요구처리코드", "DROP TABLE 오르벨버전관리"});
  p.box.Connect();
  ASSERT_TRUE(p.box.state.g_Connect2->is_open());
  SendPendingVersionRecords(p.box.state);
  EXPECT_EQ(p.Marks(), (Rows{"7.5.13|Tandrel.exe|N", "7.5.13|Velmont.exe|N", "7.5.13|Qdb.dll|N",
                             "7.5.12|Old.exe|N"}));
  // The product's own record still moves forward; the support record is lost quietly.
  UpdateProductVersion(p.box.state);
  EXPECT_EQ(p.box.Clinic("SELECT 문자내용 FROM 시스템환경일자별 WHERE 기타내용 = 'syssVersionno'"),
            Rows{"7.5.13"});
  EXPECT_THROW(SendCustomerVersion(p.box.state, "7.5.13", "a.exe", "1", "Internet"), DbError);
  Recordset rs;
  p.box.state.g_InstalledVersion = "7.5.12";
  EXPECT_FALSE(OpenCatalogue(p.box.state, rs));
  ASSERT_EQ(p.box.host.shown().size(), 1u);
  EXPECT_EQ(p.box.host.shown()[0].rfind("Quillmend: DB 연결 오류 : ", 0), 0u);
  EXPECT_FALSE(p.box.host.busy());
}

}  // namespace
}  // namespace quillmend::testing

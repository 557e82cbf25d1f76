// Every SQL text the agent sends to the clinic database and the CRM, byte for byte, and the same
// statements run against SQLite through ODBC with the results the server gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "crm/crm_sandbox.h"
#include "db/local_tables.h"
#include "db/version_bookkeeping.h"
#include "ui/controls.h"
#include "update/update_discovery.h"

namespace quillmend::testing {
namespace {

using Statements = std::vector<std::string>;

// The three statements of a support record filed for customer C with text.
Statements SupportRecord(const std::string& today, const std::string& time, const std::string& number,
                         const std::string& customer, const std::string& text) {
  const std::string detail = text + "(10.0.0.7:접수실-PC)";
  return {
      "select case when isnull(max(접수번호), '') = '' then 1 else convert(int, "
      "max(right(접수번호,5))) + 1 end  as 최종번호 from 고객지원기록 where 접수일자 ='" +
          today + "'",
      "insert into 고객지원기록(접수번호, 접수일자, 접수시간, 접수자, 고객번호, 우선순위, 처리방법,  "
      "요구사항, 처리내용, 처리자, 처리일자, 처리시작시간, 처리완료시간, 처리여부, 프로그램명)  values ('" +
          number + "','" + today + "','" + time + "','인터넷','" + customer + "','1','1','" + detail +
          "','" + text + "','인터넷','" + today + "','" + time + "','" + time + "','2','오르벨')",
      "insert into 고객요구처리코드(접수번호, 최종번호, 요구처리구분, 코드1, 코드2, 코드3, 코드4) values ('" +
          number + "', 1, '3', 'P.프로그램', '','', '')"};
}

std::string Digits(const std::string& today) {
  return today.substr(0, 4) + today.substr(5, 2) + today.substr(8, 2);
}

const char* const kCustomerCodeQuery =
    " Select 문자내용 from 시스템환경일자별 where convert(char(10),날짜내용,120) =  (select "
    "max(날짜내용) from 시스템환경일자별) and 기타내용='syss거래처코드' and 요양기관기호 in (select "
    "요양기관기호 from 요양기관기호)   ";
const char* const kInstalledVersionQuery =
    " Select 문자내용  from 시스템환경일자별 where convert(char(10),날짜내용,120) =  (select "
    "max(날짜내용) from 시스템환경일자별) and 기타내용='syssversionno' and 요양기관기호 in (select "
    "요양기관기호 from 요양기관기호)";
const char* const kProductVersionQuery =
    "select 문자내용 from  시스템환경일자별  where 기타내용='syssVersionno'  and 날짜내용 = "
    "(select max(날짜내용) from 시스템환경일자별) ";
const char* const kVersionFileExists = "select name from sysobjects where name = '버전파일'";
const char* const kVersionFileSingleExists = "select name from sysobjects where name = '버전파일개별'";
const char* const kCreateVersionFile =
    "    CREATE TABLE 버전파일 (    버전 varchar (50)  NOT NULL ,    파일 varchar (200)  NOT NULL ,"
    "    일자 varchar (50)  NULL ,)";
std::string CreateVersionFileSingle(const std::string& id_line) {
  return "    CREATE TABLE 버전파일개별 (" + id_line +
         "     고객번호 varchar (50)  NULL ,     버전 varchar (50)  NULL ,     이름 varchar (50)  NULL ,"
         "     IP varchar (50)  NULL ,     프로그램명 varchar (50)  NULL ,     프로그램버전 varchar (50)  "
         "NULL ,     상태 varchar (50)  NULL ,     일자 varchar (50)  NULL,     전송여부 varchar (1)  "
         "NULL )";
}
const char* const kSendCustomerVersion =
    "insert into 오르벨거래처버전(고객번호,버전,이름,ip,프로그램명,프로그램버전,상태,일자) "
    "values(?,?,?,?,?,?,?,?) ";
const char* const kAddVersionFileRecord =
    "insert into 버전파일개별(고객번호,버전,이름,ip,프로그램명,프로그램버전,상태,일자,전송여부) "
    "values(?,?,?,?,?,?,?,?,?) ";

std::string Catalogue(const std::string& customer) {
  return " select a.버전 from 오르벨버전관리 a ,오르벨버전파일 b Where a.버전 = b.버전 and 가능 = 'Y' "
         " and a.고객번호 = '" + customer + "' group by a.버전 ";
}

// Both connections open, the local tables created, the trace emptied.
void Prepare(CrmSandbox& box) {
  box.Connect();
  ProbeDatabaseDialect(box.state);
  CreateVersionTables(box.state);
  box.sql.clear();
}

struct Case {
  const char* name;
  std::function<void(CrmSandbox&)> setup;  // runs before the trace starts
  std::function<void(CrmSandbox&)> run;
  std::function<Statements(const std::string& today, const std::string& time)> expected;
  std::function<void(CrmSandbox&)> check;  // what the statements did on SQLite
  bool opens_crm_by_name = false;          // the routine runs ConnectCrm itself
};

std::vector<Case> Cases() {
  auto none = [](CrmSandbox&) {};
  return {
      {"dialect probe", [](CrmSandbox& b) { b.Connect(); },
       [](CrmSandbox& b) { ProbeDatabaseDialect(b.state); },
       [](auto, auto) { return Statements{"select name from sysobjects where name = 'sysfiles1'"}; },
       [](CrmSandbox& b) { EXPECT_TRUE(b.state.g_AutoIncDb); }},
      {"version tables on a database without sysfiles1",
       [](CrmSandbox& b) {
         b.Connect();
         b.state.g_AutoIncDb = true;
       },
       [](CrmSandbox& b) { CreateVersionTables(b.state); },
       [](auto, auto) {
         return Statements{kVersionFileExists, kCreateVersionFile, kVersionFileSingleExists,
                           CreateVersionFileSingle(
                               "     ID numeric(18, 0) NOT NULL DEFAULT autoincrement,")};
       },
       [](CrmSandbox& b) {
         EXPECT_EQ(b.Clinic("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE "
                            "'버전파일%' ORDER BY name"),
                   (Statements{"버전파일", "버전파일개별"}));
       }},
      {"version tables as Microsoft SQL Server gets them",
       [](CrmSandbox& b) {
         b.Connect();
         b.state.g_AutoIncDb = false;
       },
       [](CrmSandbox& b) { CreateVersionTables(b.state); },
       [](auto, auto) {
         return Statements{kVersionFileExists, kCreateVersionFile, kVersionFileSingleExists,
                           CreateVersionFileSingle("     ID numeric(18, 0) IDENTITY (1, 1) NOT NULL ,")};
       },
       [](CrmSandbox& b) {
         // The identity column numbers rows from 1 in steps of 1.
         AddVersionFileRecord(b.state, "7.5.13", "a.exe", "1.0", "Server");
         AddVersionFileRecord(b.state, "7.5.13", "b.exe", "1.0", "Server");
         EXPECT_EQ(b.Clinic("SELECT ID, 프로그램명 FROM 버전파일개별 ORDER BY ID"),
                   (Statements{"1|a.exe", "2|b.exe"}));
       }},
      {"version tables already present", Prepare,
       [](CrmSandbox& b) { CreateVersionTables(b.state); },
       [](auto, auto) { return Statements{kVersionFileExists, kVersionFileSingleExists}; }, none},
      {"customer code", [](CrmSandbox& b) { b.Connect(); },
       [](CrmSandbox& b) { GetCustomerCode(b.state); },
       [](auto, auto) { return Statements{kCustomerCodeQuery}; },
       [](CrmSandbox& b) { EXPECT_EQ(b.state.g_CustomerCode, "C1001"); }},
      {"installed version", [](CrmSandbox& b) {
         b.Connect();
         b.WriteLastVersion("7.6.0");
       },
       [](CrmSandbox& b) { GetInstalledVersion(b.state); },
       [](auto, auto) { return Statements{kInstalledVersionQuery, kCustomerCodeQuery}; },
       [](CrmSandbox& b) { EXPECT_EQ(b.state.g_InstalledVersion, "7.5.12"); }},
      {"product version raised",
       [](CrmSandbox& b) {
         Prepare(b);
         GetCustomerCode(b.state);
         b.WriteLastVersion("7.5.13");
         b.sql.clear();
       },
       [](CrmSandbox& b) { UpdateProductVersion(b.state); },
       [](const std::string& today, const std::string& time) {
         // The support record first: an agent ended before the raise is completed by the
         // next pass, which sees the product's version behind.
         Statements s = SupportRecord(today, time, Digits(today) + "00001", "C1001",
                                      "Ver 7.5.13 업데이트 완료");
         s.push_back(kProductVersionQuery);
         s.push_back(
             "Update 시스템환경일자별 set 문자내용 ='7.5.13' where 기타내용='syssVersionno'  and "
             "날짜내용 = (select max(날짜내용) from 시스템환경일자별)");
         return s;
       },
       [](CrmSandbox& b) {
         EXPECT_EQ(b.Clinic("SELECT 문자내용 FROM 시스템환경일자별 WHERE 기타내용 = 'syssVersionno'"),
                   Statements{"7.5.13"});
         EXPECT_EQ(b.Crm("SELECT 접수번호, 처리내용 FROM 고객지원기록"),
                   Statements{TodayDigits() + "00001|Ver 7.5.13 업데이트 완료"});
       }},
      {"local version row", Prepare,
       [](CrmSandbox& b) { AddVersionFileRecord(b.state, "7.5.13", "Tandrel.exe", "7.5.13.2", "Server"); },
       [](auto, auto) { return Statements{kAddVersionFileRecord}; },
       [](CrmSandbox& b) {
         EXPECT_EQ(b.Clinic("SELECT 버전, 이름, IP, 프로그램명, 프로그램버전, 상태, 전송여부 FROM 버전파일개별"),
                   Statements{"7.5.13|접수실-PC|10.0.0.7|Tandrel.exe|7.5.13.2|Server|N"});
       }},
      {"CRM version row", Prepare,
       [](CrmSandbox& b) {
         SendCustomerVersion(b.state, "7.5.13", "Tandrel.exe", "7.5.13.2", "Internet");
         SendCustomerVersion(b.state, "7.5.13", "Tandrel.exe", "7.5.13.2", "Internet");
       },
       // The second send finds the row there and inserts nothing.
       [](auto, auto) {
         const std::string check =
             "select count(*) from 오르벨거래처버전 where 고객번호 = '' and 버전 = '7.5.13' "
             "and 이름 = '접수실-PC' and ip = '10.0.0.7' and 프로그램명 = 'Tandrel.exe'";
         return Statements{check, kSendCustomerVersion, check};
       },
       [](CrmSandbox& b) {
         EXPECT_EQ(b.Crm("SELECT 버전, 이름, ip, 프로그램명, 프로그램버전, 상태 FROM 오르벨거래처버전"),
                   Statements{"7.5.13|접수실-PC|10.0.0.7|Tandrel.exe|7.5.13.2|Internet"});
       }},
      {"pending rows",
       [](CrmSandbox& b) {
         Prepare(b);
         GetCustomerCode(b.state);
         b.WriteLastVersion("7.5.13");
         AddVersionFileRecord(b.state, "7.5.13", "Tandrel.exe", "7.5.13.2", "Server");
         b.sql.clear();
       },
       [](CrmSandbox& b) { SendPendingVersionRecords(b.state); },
       [](const std::string& today, const std::string& time) {
         // What the CRM holds already is asked first, so that a pass cut short converges; the
         // support record comes before the rows are marked, by their ID.
         Statements s = {"select * from 버전파일개별 where 전송여부 = 'N' order by ID",
                         "select 이름, ip, 프로그램명 from 오르벨거래처버전 where 고객번호 = 'C1001' "
                         "and 버전 = '7.5.13'",
                         kSendCustomerVersion,
                         "select 처리내용, 요구사항 from 고객지원기록 where 고객번호 = 'C1001' and "
                         "처리내용 like 'Ver 7.5.13 업데이트완료'"};
         for (auto& x : SupportRecord(today, time, Digits(today) + "00001", "C1001",
                                      "Ver 7.5.13 업데이트완료")) {
           s.push_back(x);
         }
         s.push_back("update 버전파일개별 set 전송여부 = 'Y' where ID in (1)");
         return s;
       },
       [](CrmSandbox& b) {
         EXPECT_EQ(b.Clinic("SELECT 전송여부 FROM 버전파일개별"), Statements{"Y"});
         EXPECT_EQ(b.Crm("SELECT 상태 FROM 오르벨거래처버전"), Statements{"Server"});
         EXPECT_EQ(b.Crm("SELECT count(*) FROM 고객요구처리코드"), Statements{"1"});
       }},
      {"catalogue, short form",
       [](CrmSandbox& b) {
         Prepare(b);
         PublishVersion(b.crm, "C1001", "7.5.13", {"Tandrel.exe"});
         b.state.g_CustomerCode = "C1001";
         b.state.g_InstalledVersion = "7.5.12";
       },
       [](CrmSandbox& b) {
         Recordset rs;
         EXPECT_TRUE(OpenCatalogue(b.state, rs));
       },
       [](auto, auto) { return Statements{Catalogue("C1001")}; }, none},
      {"catalogue, long form",
       [](CrmSandbox& b) {
         Prepare(b);
         PublishVersion(b.crm, "C1001", "2013.1.6", {"Tandrel.exe"});
         b.state.g_CustomerCode = "C1001";
         b.state.g_InstalledVersion = "2013.1.5";
       },
       [](CrmSandbox& b) {
         Recordset rs;
         EXPECT_TRUE(OpenCatalogue(b.state, rs));
       },
       [](auto, auto) { return Statements{Catalogue("C1001")}; }, none},
      {"file list of a version",
       [](CrmSandbox& b) {
         Prepare(b);
         PublishVersion(b.crm, "C1001", "7.5.13", {"Tandrel.exe", "orvel.cab"});
       },
       [](CrmSandbox& b) { EXPECT_EQ(m_filelist(b.state, "7.5.13").size(), 3u); },
       [](auto, auto) {
         return Statements{"Select 파일 from 오르벨버전파일  where  버전 =  '7.5.13'"};
       },
       none},
      {"version list", [](CrmSandbox& b) { PublishVersion(b.crm, "C2002", "7.5.13", {"a"}); },
       [](CrmSandbox& b) {
         ListBoxControl list;
         cmdVer_Click(b.state, list);
         EXPECT_EQ(list.items, Statements{"7.5.13"});
       },
       [](auto, auto) {
         return Statements{" select distinct 버전 from 오르벨버전관리  order by 버전 desc "};
       },
       none, true},
  };
}

TEST(SqlTexts, EveryStatementIsSentByteForByteAndRunsOnSqlite) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    if (c.opens_crm_by_name && !RelativeDatabaseNamesFollowCurrentFolder()) {
      std::printf("case \"%s\" skipped: %s\n", c.name, kRelativeDatabaseNamesSkip);
      continue;
    }
    CrmSandbox box;
    c.setup(box);
    box.sql.clear();
    const LocalDateTime before = LocalNow();
    c.run(box);
    const LocalDateTime after = LocalNow();
    // The clock may pass a minute while the statements are sent: either reading is right.
    const Statements early = c.expected(FormatDate(before), FormatHourMinute(before));
    const Statements late = c.expected(FormatDate(after), FormatHourMinute(after));
    if (box.sql != late) {
      EXPECT_EQ(box.sql, early);
    }
    EXPECT_TRUE(box.host.shown().empty()) << box.host.shown().front();
    EXPECT_EQ(box.FailureLog(), "");
    c.check(box);
  }
}

// A value holding a quote is sent with the quote doubled and reaches the database unchanged;
// the statement is otherwise the same text.
TEST(SqlTexts, QuotesInValuesAreDoubledAndStoredAsGiven) {
  CrmSandbox box({.customer_code = "O'Neil"});
  Prepare(box);
  GetCustomerCode(box.state);
  EXPECT_EQ(box.state.g_CustomerCode, "O'Neil");
  box.WriteLastVersion("7.6'0");
  box.sql.clear();

  UpdateProductVersion(box.state);
  ASSERT_EQ(box.sql.size(), 5u);
  EXPECT_NE(box.sql[1].find("','O''Neil','1','1','Ver 7.6''0 업데이트 완료("), std::string::npos)
      << box.sql[1];
  EXPECT_EQ(box.sql[3], kProductVersionQuery);
  EXPECT_EQ(box.sql[4],
            "Update 시스템환경일자별 set 문자내용 ='7.6''0' where 기타내용='syssVersionno'  and "
            "날짜내용 = (select max(날짜내용) from 시스템환경일자별)");
  EXPECT_EQ(box.Clinic("SELECT 문자내용 FROM 시스템환경일자별 WHERE 기타내용 = 'syssVersionno'"),
            Statements{"7.6'0"});
  EXPECT_EQ(box.Crm("SELECT 고객번호, 처리내용 FROM 고객지원기록"),
            Statements{"O'Neil|Ver 7.6'0 업데이트 완료"});

  // Pending rows of a version with a quote are found, sent and marked.
  AddVersionFileRecord(box.state, "7.6'0", "Tandrel.exe", "1", "Server");
  box.sql.clear();
  SendPendingVersionRecords(box.state);
  ASSERT_FALSE(box.sql.empty());
  ASSERT_GE(box.sql.size(), 2u);
  EXPECT_EQ(box.sql[1], "select 이름, ip, 프로그램명 from 오르벨거래처버전 where 고객번호 = "
                        "'O''Neil' and 버전 = '7.6''0'");
  EXPECT_EQ(box.Clinic("SELECT 전송여부 FROM 버전파일개별"), Statements{"Y"});
  EXPECT_EQ(box.Crm("SELECT 고객번호, 버전 FROM 오르벨거래처버전"), Statements{"O'Neil|7.6'0"});

  // The catalogue and the file list take the quote as part of the value, not as SQL.
  PublishVersion(box.crm, "O'Neil", "7.6.0", {"it's.cab"});
  PublishVersion(box.crm, "C1001", "7.7.0", {"other.cab"});
  box.state.g_InstalledVersion = "7.5.12";
  box.sql.clear();
  Recordset rs;
  ASSERT_TRUE(OpenCatalogue(box.state, rs));
  EXPECT_EQ(box.sql[0], Catalogue("O''Neil"));
  EXPECT_EQ(rs.Text(0), "7.6.0");
  rs.MoveNext();
  EXPECT_TRUE(rs.eof());
  EXPECT_EQ(m_filelist(box.state, "7.6.0"), (Statements{"", "it's.cab"}));
  box.state.g_InstalledVersion = "7.5'1";
  box.sql.clear();
  ASSERT_TRUE(OpenCatalogue(box.state, rs));
  EXPECT_EQ(box.sql[0], Catalogue("O''Neil"));
  EXPECT_EQ(rs.Text(0), "7.6.0");
}

}  // namespace
}  // namespace quillmend::testing

// The agent's two local tables in the clinic database and the reads of the product settings.
#include "db/local_tables.h"

#include "db/db_access.h"
#include "db/version_bookkeeping.h"
#include "ui/frm_files.h"

namespace quillmend {

void ProbeDatabaseDialect(SharedState& state) {
  Recordset rs;
  state.g_AutoIncDb =
      !OpenRecordset(state, rs, "select name from sysobjects where name = 'sysfiles1'");
}

std::string VersionFileTableSql() {
  return std::string("    CREATE TABLE 버전파일 (") + "    버전 varchar (50)  NOT NULL ," +
         "    파일 varchar (200)  NOT NULL ," + "    일자 varchar (50)  NULL ," + ")";
}

std::string VersionFileSingleTableSql(bool auto_inc_db) {
  const char* id_line = auto_inc_db ? "     ID numeric(18, 0) NOT NULL DEFAULT autoincrement,"
                                    : "     ID numeric(18, 0) IDENTITY (1, 1) NOT NULL ,";
  return std::string("    CREATE TABLE 버전파일개별 (") + id_line +
         "     고객번호 varchar (50)  NULL ," + "     버전 varchar (50)  NULL ," +
         "     이름 varchar (50)  NULL ," + "     IP varchar (50)  NULL ," +
         "     프로그램명 varchar (50)  NULL ," + "     프로그램버전 varchar (50)  NULL ," +
         "     상태 varchar (50)  NULL ," + "     일자 varchar (50)  NULL," +
         "     전송여부 varchar (1)  NULL" + " )";
}

std::string CustomerCodeQuery() {
  return std::string(" Select 문자내용 from 시스템환경일자별") +
         " where convert(char(10),날짜내용,120) =  (select max(날짜내용) from 시스템환경일자별)"
         " and 기타내용='syss거래처코드'" +
         " and 요양기관기호 in (select 요양기관기호 from 요양기관기호)   ";
}

std::string InstalledVersionQuery() {
  return std::string(" Select 문자내용  from 시스템환경일자별") +
         " where convert(char(10),날짜내용,120) =  (select max(날짜내용) from 시스템환경일자별)"
         " and 기타내용='syssversionno'" +
         " and 요양기관기호 in (select 요양기관기호 from 요양기관기호)";
}

void CreateVersionTables(SharedState& state) {
  Recordset rs;
  if (!OpenRecordset(state, rs, "select name from sysobjects where name = '버전파일'")) {
    ExecuteStatement(state, VersionFileTableSql(), state.g_Connect);
  }
  if (!OpenRecordset(state, rs, "select name from sysobjects where name = '버전파일개별'")) {
    ExecuteStatement(state, VersionFileSingleTableSql(state.g_AutoIncDb), state.g_Connect);
  }
}

void GetCustomerCode(SharedState& state) {
  Recordset rs;
  if (OpenRecordset(state, rs, CustomerCodeQuery())) {
    state.g_CustomerCode = rs.Text(0);
    if (state.frmFiles != nullptr) state.frmFiles->lbl고객.caption = state.g_CustomerCode;
  }
  rs.Close();
}

}  // namespace quillmend

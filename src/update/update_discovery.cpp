#include "update/update_discovery.h"

#include "crm/crm_reporting.h"
#include "db/db_access.h"
#include "base/text.h"
#include "ui/controls.h"

namespace quillmend {

std::string CatalogueQuery(const std::string& customer, const std::string& installed) {
  const std::string c = SqlQuoted(customer);
  const std::string v = SqlQuoted(installed);
  std::string sql = " select a.버전 from 오르벨버전관리 a ,오르벨버전파일 b";
  sql += " Where a.버전 = b.버전";
  sql += " and 가능 = 'Y' ";
  sql += " and a.고객번호 = '" + c + "'";
  // Long-form installed versions (a year as first part) are compared as text among long forms
  // only; short forms also take any version whose major.minor is numerically larger.
  if (SplitText(installed, ".").front().size() >= 3) {
    sql += " and len(dbo.arr_split(a.버전,'.',1))  >= 3 and a.버전 > '" + v + "' ";
  } else {
    sql += "  and (a.버전 > '" + v + "'";
    sql += "         or cast(cast(dbo.arr_split('" + v +
           "','.',1) as varchar) + '.' + cast(dbo.arr_split('" + v +
           "','.',2) as varchar) as float) < ";
    sql += "             cast(cast(dbo.arr_split(a.버전,'.',1) as varchar) + '.' + "
           "cast(dbo.arr_split(a.버전,'.',2) as varchar) as float) ";
    sql += "         )";
  }
  sql += " group by a.버전 ";
  sql += " order by dbo.arr_split(a.버전,'.',1), dbo.arr_split(a.버전,'.',2), "
         "dbo.arr_split(a.버전,'.',3)";
  return sql;
}

bool OpenCatalogue(SharedState& state, Recordset& rs) {
  return OpenRecordsetOn(state, rs, CatalogueQuery(state.g_CustomerCode, state.g_InstalledVersion),
                         state.g_Connect2);
}

std::string FileListQuery(const std::string& version) {
  return "Select 파일 from 오르벨버전파일  where  버전 =  '" + SqlQuoted(version) + "'";
}

std::vector<std::string> m_filelist(SharedState& state, const std::string& version) {
  std::vector<std::string> files{""};
  Recordset rs = QueryOn(state, FileListQuery(version), state.g_Connect2);
  for (; !rs.eof(); rs.MoveNext()) files.push_back(rs.Text(0));
  rs.Close();
  return files;
}

std::string VersionListQuery() {
  return " select distinct 버전 from 오르벨버전관리  order by 버전 desc ";
}

void cmdVer_Click(SharedState& state, ListBoxControl& lstVer) {
  OpenLocalDatabase(state);
  ConnectCrm(state);
  Recordset rs;
  OpenRecordsetOn(state, rs, VersionListQuery(), state.g_Connect2);
  lstVer.Clear();
  for (; !rs.eof(); rs.MoveNext()) lstVer.AddItem(rs.Text(0));
  rs.Close();
}

}  // namespace quillmend

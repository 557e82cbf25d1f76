#include "update/update_discovery.h"

#include "crm/crm_reporting.h"
#include "db/db_access.h"
#include "base/text.h"
#include "db/version_order.h"
#include "ui/controls.h"

namespace quillmend {

std::string CatalogueQuery(const std::string& customer) {
  std::string sql = " select a.버전 from 오르벨버전관리 a ,오르벨버전파일 b";
  sql += " Where a.버전 = b.버전";
  sql += " and 가능 = 'Y' ";
  sql += " and a.고객번호 = '" + SqlQuoted(customer) + "'";
  sql += " group by a.버전 ";
  return sql;
}

std::vector<std::string> NewerVersionsInOrder(std::vector<std::string> versions,
                                              const std::string& installed) {
  std::erase_if(versions, [&](const std::string& v) { return !IsNewerVersion(v, installed); });
  SortVersions(versions);
  return versions;
}

bool OpenCatalogue(SharedState& state, Recordset& rs) {
  // Every installable version of the customer; which are newer, and their order, is decided
  // here: the server's text order puts 7.5.9 after 7.5.10, and no numeric reading of a part
  // can make the query fail on a version such as 7.5.13a.
  Recordset published;
  std::vector<std::string> versions;
  if (OpenRecordsetOn(state, published, CatalogueQuery(state.g_CustomerCode),
                      state.g_Connect2)) {
    for (; !published.eof(); published.MoveNext()) versions.push_back(published.Text(0));
  }
  published.Close();
  std::vector<Recordset::Row> rows;
  for (std::string& v : NewerVersionsInOrder(std::move(versions), state.g_InstalledVersion)) {
    rows.push_back({std::move(v)});
  }
  if (rows.empty()) {
    rs = Recordset();
    return false;
  }
  rs = Recordset({"버전"}, std::move(rows));
  return true;
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
  std::vector<std::string> versions;
  for (; !rs.eof(); rs.MoveNext()) versions.push_back(rs.Text(0));
  rs.Close();
  // Newest first in version order: the forced download walks the list from its end, so the
  // oldest selected version is applied first.
  SortVersions(versions);
  lstVer.Clear();
  for (auto v = versions.rbegin(); v != versions.rend(); ++v) lstVer.AddItem(*v);
}

}  // namespace quillmend

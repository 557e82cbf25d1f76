// Update discovery: which published versions are newer than the installed one for this
// customer (in installation order), which files make up a version, and the list of every
// published version for the forced download. Everything is read from the CRM (g_Connect2).
#pragma once

#include <string>
#include <vector>

#include "db/recordset.h"
#include "startup/shared_state.h"

namespace quillmend {

struct ListBoxControl;

// The catalogue query for customer code customer (quotes doubled): every installable version
// published to the customer that has file rows, each once, in no particular order.
std::string CatalogueQuery(const std::string& customer);
// The versions that come after installed (db/version_order.h), oldest first: the catalogue's
// filter and order.
std::vector<std::string> NewerVersionsInOrder(std::vector<std::string> versions,
                                              const std::string& installed);
// Runs the catalogue query for g_CustomerCode on g_Connect2 with OpenRecordsetOn and keeps the
// versions newer than g_InstalledVersion in installation order: true with rs (one column, 버전)
// on the first of them; false when none or on a database error (shown as "DB 연결 오류 : " +
// text).
bool OpenCatalogue(SharedState& state, Recordset& rs);

// "Select 파일 from 오르벨버전파일 ..." for one version.
std::string FileListQuery(const std::string& version);
// m_filelist: the version's file names; index 0 is always "", then the names in the order the
// database returns them. Throws DbError (the enclosing pass handles it).
std::vector<std::string> m_filelist(SharedState& state, const std::string& version);

// The query of cmdVer_Click: every version of every customer, newest first by text (the list is
// put into version order by the program).
std::string VersionListQuery();
// cmdVer_Click: reopens both connections, then fills lstVer (FrmFiles::lstVer) with every
// published version, newest first in version order. A failing query is shown as
// "DB 연결 오류 : " + text and leaves the list empty.
void cmdVer_Click(SharedState& state, ListBoxControl& lstVer);

}  // namespace quillmend

// Which published versions a workstation is offered, in which order, with which files; and the
// list of every published version for the forced download.
#include <gtest/gtest.h>

#include "crm/crm_sandbox.h"
#include "ui/controls.h"
#include "update/update_discovery.h"

namespace quillmend::testing {
namespace {

using Rows = std::vector<std::string>;

// The versions the catalogue query offers customer C1001 over installed, in row order.
Rows Offered(CrmSandbox& box, const std::string& installed) {
  box.state.g_CustomerCode = "C1001";
  box.state.g_InstalledVersion = installed;
  Recordset rs;
  Rows versions;
  if (!OpenCatalogue(box.state, rs)) return versions;
  for (; !rs.eof(); rs.MoveNext()) versions.push_back(rs.Text(0));
  return versions;
}

TEST(Catalogue, ShortFormInstalledVersionIsOfferedNewerVersionsInNumericOrder) {
  CrmSandbox box;
  box.Connect();
  for (const char* v : {"7.5.13", "7.6.0", "7.5.2", "2013.1.1", "7.5.100"}) {
    PublishVersion(box.crm, "C1001", v, {"Tandrel.exe", "orvel.cab"});  // two rows: offered once
  }
  PublishVersion(box.crm, "C1001", "7.5.12", {"Tandrel.exe"});       // the installed one
  PublishVersion(box.crm, "C1001", "7.4.9", {"Tandrel.exe"});        // older
  PublishVersion(box.crm, "C1001", "7.7.0", {});                     // no file rows
  PublishVersion(box.crm, "C1001", "7.8.0", {"Tandrel.exe"}, "N");  // not installable
  PublishVersion(box.crm, "C2002", "7.9.0", {"Tandrel.exe"});        // another customer
  // 7.5.2 is older than 7.5.12 although its text is larger; 7.5.100 comes after 7.5.13.
  EXPECT_EQ(Offered(box, "7.5.12"), (Rows{"7.5.13", "7.5.100", "7.6.0", "2013.1.1"}));
  EXPECT_EQ(Offered(box, "2013.1.1"), Rows{});
  EXPECT_TRUE(box.host.shown().empty());
}

TEST(Catalogue, TwoDigitPartsNeitherSkipNorDowngrade) {
  CrmSandbox box;
  box.Connect();
  for (const char* v : {"7.5.11", "7.5.8", "7.5.10", "7.5.9"}) {
    PublishVersion(box.crm, "C1001", v, {"Velmont.exe.cab"});
  }
  EXPECT_EQ(Offered(box, "7.5.9"), (Rows{"7.5.10", "7.5.11"}));
  EXPECT_EQ(Offered(box, "7.5.10"), Rows{"7.5.11"});
  EXPECT_EQ(Offered(box, "7.5.7"), (Rows{"7.5.8", "7.5.9", "7.5.10", "7.5.11"}));
  EXPECT_EQ(Offered(box, "7.5.11"), Rows{});
  EXPECT_TRUE(box.host.shown().empty());
}

TEST(Catalogue, LongFormInstalledVersionIsOfferedOnlyLongFormsAbove) {
  CrmSandbox box;
  box.Connect();
  for (const char* v :
       {"2014.0.1", "2013.1.6", "7.9.9", "2013.1.5", "2013.1.4", "99.9.9", "2013.1.10"}) {
    PublishVersion(box.crm, "C1001", v, {"Tandrel.exe"});
  }
  EXPECT_EQ(Offered(box, "2013.1.5"), (Rows{"2013.1.6", "2013.1.10", "2014.0.1"}));
  EXPECT_TRUE(box.host.shown().empty());
}

TEST(Catalogue, VersionsWithLettersOrMissingPartsAreOrderedNotRefused) {
  CrmSandbox box;
  box.Connect();
  for (const char* v : {"7.5.13", "2013.1.1", "7.5.13a", "7.x.1"}) {
    PublishVersion(box.crm, "C1001", v, {"a.cab"});
  }
  // No installed version at all: everything of the customer is newer.
  EXPECT_EQ(Offered(box, ""), (Rows{"7.x.1", "7.5.13", "7.5.13a", "2013.1.1"}));
  // A missing part comes before every present one; an empty part before every numbered one.
  EXPECT_EQ(Offered(box, "7"), (Rows{"7.x.1", "7.5.13", "7.5.13a", "2013.1.1"}));
  EXPECT_EQ(Offered(box, "7..1"), (Rows{"7.x.1", "7.5.13", "7.5.13a", "2013.1.1"}));
  // A part with letters compares by its leading digits, then as text.
  EXPECT_EQ(Offered(box, "7.5.13"), (Rows{"7.5.13a", "2013.1.1"}));
  EXPECT_EQ(Offered(box, "7.y.1"), (Rows{"7.5.13", "7.5.13a", "2013.1.1"}));
  EXPECT_TRUE(box.host.shown().empty());
  EXPECT_FALSE(box.host.busy());
}

TEST(FileList, NamesInDatabaseOrderAfterTheEmptyEntry) {
  CrmSandbox box;
  box.Connect();
  PublishVersion(box.crm, "C1001", "7.5.13", {"Tandrel.exe", "업데이트 안내.txt", "orvel.cab"});
  PublishVersion(box.crm, "C1001", "7.5.14", {});
  PublishVersion(box.crm, "C2002", "7.5.13", {"other.cab"});  // same version, another customer
  EXPECT_EQ(m_filelist(box.state, "7.5.13"),
            (Rows{"", "Tandrel.exe", "업데이트 안내.txt", "orvel.cab", "other.cab"}));
  EXPECT_EQ(m_filelist(box.state, "7.5.14"), Rows{""});
  EXPECT_EQ(m_filelist(box.state, "9.9.9"), Rows{""});
}

TEST(VersionList, EveryPublishedVersionNewestFirstInVersionOrderAndAFailureShown) {
  if (!RelativeDatabaseNamesFollowCurrentFolder()) GTEST_SKIP() << kRelativeDatabaseNamesSkip;
  CrmSandbox box;
  PublishVersion(box.crm, "C1001", "7.5.13", {"a"});
  PublishVersion(box.crm, "C1001", "7.5.2", {"a"}, "N");
  PublishVersion(box.crm, "C2002", "7.5.13", {"a"});
  PublishVersion(box.crm, "C2002", "2013.1.1", {});
  PublishVersion(box.crm, "C2002", "7.5.9", {"a"});
  ListBoxControl list;
  list.AddItem("stale");
  cmdVer_Click(box.state, list);
  EXPECT_EQ(list.items, (Rows{"2013.1.1", "7.5.13", "7.5.9", "7.5.2"}));
  EXPECT_TRUE(box.host.shown().empty());
  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open());

  ExecSqlite(box.crm, {"DROP TABLE 오르벨버전관리"});
  cmdVer_Click(box.state, list);
  EXPECT_EQ(list.items, Rows{});
  ASSERT_EQ(box.host.shown().size(), 1u);
  EXPECT_EQ(box.host.shown()[0].rfind("Quillmend: DB 연결 오류 : ", 0), 0u);
}

}  // namespace
}  // namespace quillmend::testing

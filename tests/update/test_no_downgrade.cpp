// Versions with two-digit parts through the whole Internet pass and the forced download: newer
// versions are installed in numeric order, a version that is not newer than the installed one
// is never applied, and what a pass ended early left undone is completed, not repeated.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"
#include "startup/profile_file.h"
#include "update_clinic.h"

namespace quillmend::testing {
namespace {

using Rows = std::vector<std::string>;

std::vector<PublishedFile> Velmont(const std::string& version) {
  return {{"program", "Velmont.exe", "Velmont " + version}};
}

TEST(NoDowngrade, TheInternetPassInstallsOnlyNewerVersionsInNumericOrder) {
  UpdateClinic clinic({true}, "7.5.10");
  for (const char* v : {"7.5.8", "7.5.9", "7.5.10", "7.5.11"}) clinic.Publish(v, Velmont(v));
  clinic.Serve();
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.5.11");
  EXPECT_EQ(clinic.ProductVersion(), "7.5.11");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "Velmont 7.5.11");
  EXPECT_EQ(clinic.CustomerVersionRows(), Rows{"7.5.11|Velmont.exe|Internet"});
  EXPECT_EQ(clinic.SupportReceipts().size(), 1u);
}

TEST(NoDowngrade, VersionsThisWorkstationAlreadyHasArePassedOverWhenTheClinicRecordIsBehind) {
  // Another workstation's older record: the pass starts from 7.5.9, yet this workstation ran
  // 7.5.11 already, so only 7.5.12 is applied.
  UpdateClinic clinic({true}, "7.5.11");
  ExecSqlite(clinic.clinic_db, {"update 시스템환경일자별 set 문자내용 = '7.5.9' where 기타내용 = "
                                "'syssVersionno'"});
  for (const char* v : {"7.5.10", "7.5.11", "7.5.12"}) clinic.Publish(v, Velmont(v));
  clinic.Serve();
  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_EQ(clinic.ProductVersion(), "7.5.12");
  EXPECT_EQ(clinic.CustomerVersionRows(), Rows{"7.5.12|Velmont.exe|Internet"});
  EXPECT_EQ(clinic.VersionFileRows(), Rows{"7.5.12|\\download\\program\\Velmont.exe"});
}

TEST(NoDowngrade, TheForcedDownloadAppliesOnlyTheSelectedVersionsThatAreNewer) {
  UpdateClinic clinic({}, "7.5.10");
  for (const char* v : {"7.5.9", "7.5.10", "7.5.11", "7.5.12"}) clinic.Publish(v, Velmont(v));
  clinic.Serve();
  clinic.runner->Versions();
  ASSERT_EQ(clinic.window.lstVer.items, (Rows{"7.5.12", "7.5.11", "7.5.10", "7.5.9"}));
  clinic.window.lstVer.selected = {true, true, true, true};
  clinic.runner->Apply();
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "Velmont 7.5.12");
  EXPECT_EQ(clinic.CustomerVersionRows(),
            (Rows{"7.5.11|Velmont.exe|Internet", "7.5.12|Velmont.exe|Internet"}));

  // Only older versions selected: nothing is applied, nothing recorded.
  clinic.window.lstVer.selected = {false, true, true, true};
  clinic.runner->Apply();
  EXPECT_EQ(clinic.LastVersion(), "7.5.12");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "Velmont 7.5.12");
  EXPECT_EQ(clinic.CustomerVersionRows().size(), 2u);
}

// An agent ended right after it stored a version as Last leaves the product's version and the
// support record behind; the next online pass completes them, once.
TEST(NoDowngrade, APassEndedAfterStoringTheVersionIsCompletedByTheNextOnce) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", Velmont("7.5.13"));
  clinic.Serve();
  clinic.runner->Down();
  ASSERT_EQ(clinic.LastVersion(), "7.5.13");
  const Rows rows = clinic.CustomerVersionRows();
  ExecSqlite(clinic.clinic_db, {"update 시스템환경일자별 set 문자내용 = '7.5.12' where 기타내용 = "
                                "'syssVersionno'"});
  ExecSqlite(clinic.crm_db, {"delete from 고객지원기록", "delete from 고객요구처리코드"});

  clinic.runner->Down();
  EXPECT_EQ(clinic.ProductVersion(), "7.5.13");
  EXPECT_EQ(clinic.SupportReceipts().size(), 1u);
  EXPECT_EQ(clinic.CustomerVersionRows(), rows);  // nothing applied or sent again
  clinic.runner->Down();
  EXPECT_EQ(clinic.SupportReceipts().size(), 1u);
}

// Ended the same way, and a newer version published since: the ended version is completed
// before the newer one is stored, so neither support record is lost.
TEST(NoDowngrade, AnEndedVersionIsCompletedBeforeTheNextVersionIsApplied) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", Velmont("7.5.13"));
  clinic.Serve();
  clinic.runner->Down();
  ASSERT_EQ(clinic.LastVersion(), "7.5.13");
  ExecSqlite(clinic.clinic_db, {"update 시스템환경일자별 set 문자내용 = '7.5.12' where 기타내용 = "
                                "'syssVersionno'"});
  ExecSqlite(clinic.crm_db, {"delete from 고객지원기록", "delete from 고객요구처리코드"});
  clinic.Publish("7.5.14", Velmont("7.5.14"));

  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.5.14");
  EXPECT_EQ(clinic.ProductVersion(), "7.5.14");
  EXPECT_EQ(clinic.SupportTexts(),
            (Rows{"Ver 7.5.13 업데이트 완료", "Ver 7.5.14 업데이트 완료"}));
}

// Ended after it filed the support record but before it raised the product's version: the next
// pass raises it and files no second record.
TEST(NoDowngrade, APassEndedAfterItsSupportRecordRaisesTheVersionWithoutASecondRecord) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", Velmont("7.5.13"));
  clinic.Serve();
  clinic.runner->Down();
  ASSERT_EQ(clinic.SupportReceipts().size(), 1u);
  ExecSqlite(clinic.clinic_db, {"update 시스템환경일자별 set 문자내용 = '7.5.12' where 기타내용 = "
                                "'syssVersionno'"});

  clinic.runner->Down();
  EXPECT_EQ(clinic.ProductVersion(), "7.5.13");
  EXPECT_EQ(clinic.SupportReceipts().size(), 1u);
}

// Ended after the files were placed and reported but before the version was stored: the next
// pass applies the version again, and the CRM still holds one row per program.
TEST(NoDowngrade, AVersionAppliedAgainAfterAnEndedPassIsNotReportedTwice) {
  UpdateClinic clinic({true, true});
  clinic.Publish("7.5.13", Velmont("7.5.13"));
  clinic.Serve();
  clinic.runner->Down();
  const Rows rows = clinic.CustomerVersionRows();
  ASSERT_EQ(rows, Rows{"7.5.13|Velmont.exe|Internet"});
  WriteProfileValue(clinic.Program("ORVEL_H.ini"), "Version", "Last", "7.5.12");
  ExecSqlite(clinic.clinic_db, {"update 시스템환경일자별 set 문자내용 = '7.5.12' where 기타내용 = "
                                "'syssVersionno'"});
  ExecSqlite(clinic.crm_db, {"delete from 고객지원기록", "delete from 고객요구처리코드"});

  clinic.runner->Down();
  EXPECT_EQ(clinic.LastVersion(), "7.5.13");
  EXPECT_EQ(clinic.ProductVersion(), "7.5.13");
  EXPECT_EQ(clinic.CustomerVersionRows(), rows);
  EXPECT_EQ(clinic.SupportReceipts().size(), 1u);
}

// A file that could not be placed waits in the pending folder; the next version placed over it
// retires that copy. What the workstation runs is the later version's file: it is reported
// under that version alone, and nothing older is put back at the next start.
TEST(NoDowngrade, AWaitingFileSupersededByTheNextVersionIsReportedOnlyUnderIt) {
  UpdateClinic clinic({true});
  clinic.Publish("7.5.13", Velmont("7.5.13"));
  clinic.Publish("7.5.14", Velmont("7.5.14"));
  clinic.Serve();
  {
    ScopedFaults faults({FaultRule{FaultOperation::kRename, clinic.Program("Velmont.exe"),
                                   FaultError::kAccessDenied, 1, 1}});
    clinic.runner->Down();
    ASSERT_EQ(InjectedFaultCount(), 1u);
  }
  EXPECT_EQ(clinic.LastVersion(), "7.5.14");
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "Velmont 7.5.14");
  EXPECT_EQ(clinic.CustomerVersionRows(), Rows{"7.5.14|Velmont.exe|Internet"});
  clinic.runner->Down();
  EXPECT_EQ(ReadFileBytes(clinic.Program("Velmont.exe")), "Velmont 7.5.14");
  EXPECT_EQ(clinic.CustomerVersionRows(), Rows{"7.5.14|Velmont.exe|Internet"});
}

}  // namespace
}  // namespace quillmend::testing

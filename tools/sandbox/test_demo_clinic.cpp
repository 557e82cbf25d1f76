// The demo's clinic end to end: one agent run over a real local FTP server installs both
// published versions, oldest first, and a second run finds nothing newer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>

#include "agent_run.h"
#include "child_process.h"
#include "demo_clinic.h"
#include "local_ftp_server.h"
#include "sandbox_report.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace quillmend::sandbox {
namespace {

using quillmend::testing::QuerySqlite;
using quillmend::testing::TempFolder;
using quillmend::testing::WaitUntil;

struct ProgramsStopper {
  std::string folder;
  ~ProgramsStopper() { StopProgramsRunningFrom(folder); }
};

TEST(DemoClinic, OneRunInstallsBothVersionsOldestFirstAndASecondRunChangesNothing) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  const ProgramsStopper stopper{layout.root};
  CreateDemoClinic(layout, QM_SLEEPER_PATH, QM_REGISTER_TOOL_PATH);
  LocalFtpServer server(layout.ftp_root, kFtpUser, kFtpPassword);
  PointAtFtpServer(layout, server.port());

  const AgentRun first = RunAgentOnce(QM_AGENT_PATH, layout, 300);
  ASSERT_EQ(first.status, 0) << first.output;
  const InstalledSummary installed = Summarize(layout);
  EXPECT_EQ(installed.last_version, "7.6.0") << first.output;
  EXPECT_EQ(installed.product_version, "7.6.0");
  EXPECT_EQ(installed.support_records, 2u);

  // Every file in its place, byte for byte; controls registered in the system folder.
  EXPECT_EQ(ReadBytes(layout.program_folder + "/Velmont.exe"), ReadBytes(QM_SLEEPER_PATH));
  EXPECT_EQ(ReadBytes(layout.program_folder + "/Reports/monthly.rpt"),
            "monthly report layout 7.5.13\n");
  EXPECT_EQ(ReadBytes(layout.system_folder + "/orvelgrid.ocx"),
            ProgramLikeBytes(200 * 1024, 7513));
  EXPECT_EQ(ReadBytes(layout.system_folder + "/orvelchart.dll"),
            ProgramLikeBytes(300 * 1024, 760));
  // The registration tool runs detached: give it its moment.
  std::string registered;
  WaitUntil(
      [&] {
        if (std::filesystem::exists(layout.register_log)) {
          registered = ReadBytes(layout.register_log);
        }
        return std::count(registered.begin(), registered.end(), '\n') >= 2;
      },
      std::chrono::seconds(10), "both controls to be registered");
  EXPECT_NE(registered.find(layout.system_folder + "/orvelgrid.ocx"), std::string::npos)
      << registered;
  EXPECT_NE(registered.find(layout.system_folder + "/orvelchart.dll"), std::string::npos)
      << registered;

  // The applied-file rows: 7.5.13's three files, then 7.6.0's.
  const auto rows = QuerySqlite(layout.clinic_db, "SELECT 버전, 파일 FROM 버전파일 ORDER BY rowid");
  ASSERT_EQ(rows.size(), 6u);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].substr(0, rows[i].find('|')), i < 3 ? "7.5.13" : "7.6.0") << rows[i];
  }
  std::ostringstream report;
  PrintReport(layout, report);
  EXPECT_NE(report.str().find("7.6.0|\\download\\system\\orvelchart.dll|"), std::string::npos)
      << report.str();

  const AgentRun second = RunAgentOnce(QM_AGENT_PATH, layout, 300);
  ASSERT_EQ(second.status, 0) << second.output;
  const InstalledSummary again = Summarize(layout);
  EXPECT_EQ(again.last_version, "7.6.0");
  EXPECT_EQ(again.applied_rows, installed.applied_rows);
  EXPECT_EQ(again.crm_version_rows, installed.crm_version_rows);
  EXPECT_EQ(again.support_records, installed.support_records);
}

}  // namespace
}  // namespace quillmend::sandbox

// The sandbox clinic and its helpers, against the real agent, pyftpdlib, SQLite through ODBC and
// real child processes.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include "agent_run.h"
#include "child_process.h"
#include "clinic_sandbox.h"
#include "local_ftp_server.h"
#include "sandbox_report.h"
#include "startup/settings.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace quillmend::sandbox {
namespace {

namespace fs = std::filesystem;
using quillmend::testing::QuerySqlite;
using quillmend::testing::TempFolder;
using quillmend::testing::WaitUntil;

TEST(ChildProcess, StopEndsAChildThatIgnoresTerminationAndReadLineJoinsPieces) {
  ChildOptions options;
  options.pipe_stdout = true;
  ChildProcess child({"sh", "-c", "trap '' TERM; printf 'por'; sleep 0.2; echo 't 21'; exec sleep 60"},
                     options);
  EXPECT_EQ(child.ReadLine(10), "port 21");
  EXPECT_EQ(child.Stop(1), 128 + SIGKILL);
  EXPECT_FALSE(child.Running());
}

TEST(ChildProcess, ReadLineFailsWhenTheChildEndsSilentlyAndEnvironmentEntriesReplace) {
  ChildOptions options;
  options.pipe_stdout = true;
  options.environment = {"HOME=/nowhere", "QM_SANDBOX_TEST=1"};
  ChildProcess silent({"sh", "-c", "exit 3"}, options);
  EXPECT_THROW(silent.ReadLine(10), std::runtime_error);
  EXPECT_EQ(silent.Wait(), 3);

  ChildProcess echo({"sh", "-c", "echo \"$HOME $QM_SANDBOX_TEST\""}, options);
  EXPECT_EQ(echo.ReadLine(10), "/nowhere 1");
  EXPECT_THROW(ChildProcess({"/nonexistent/quillmend-program"}), std::runtime_error);
}

TEST(ChildProcess, StopProgramsRunningFromEndsOnlyProgramsBelowThatFolder) {
  TempFolder folder;
  fs::create_directories(folder.Sub("inside/sub"));
  fs::create_directories(folder.Sub("inside-not"));
  fs::copy_file(QM_SLEEPER_PATH, folder.Sub("inside/sub/Velmont.exe"));
  fs::copy_file(QM_SLEEPER_PATH, folder.Sub("inside-not/Velmont.exe"));
  ChildProcess inside({folder.Sub("inside/sub/Velmont.exe"), "60"});
  ChildProcess beside({folder.Sub("inside-not/Velmont.exe"), "60"});
  // The program must have been executed before its /proc entry names it.
  const auto executed = [](const ChildProcess& child) {
    std::error_code error;
    return fs::read_symlink("/proc/" + std::to_string(child.pid()) + "/exe", error)
               .filename() == "Velmont.exe";
  };
  ASSERT_TRUE(WaitUntil([&] { return executed(inside) && executed(beside); },
                        std::chrono::seconds(10), "both programs to be executed"));
  EXPECT_EQ(StopProgramsRunningFrom(folder.Sub("inside")), 1);
  EXPECT_EQ(inside.Wait(), 128 + SIGKILL);
  EXPECT_TRUE(beside.Running()) << "a program beside the folder was ended";
}

TEST(LocalFtpServer, ServesTheRootBytesUnchangedAndRefusesAMissingRoot) {
  TempFolder folder;
  const std::string bytes = ProgramLikeBytes(70000, 3) + "\n\n\r\n";
  WriteBytes(folder.Sub("root/v/a.bin"), bytes);
  LocalFtpServer server(folder.Sub("root"), "u", "p");
  ASSERT_EQ(RunProgram({"curl", "-s", "-o", folder.Sub("got.bin"),
                        "ftp://u:p@127.0.0.1:" + server.port() + "/v/a.bin"}),
            0);
  EXPECT_EQ(ReadBytes(folder.Sub("got.bin")), bytes);
  EXPECT_THROW(LocalFtpServer(folder.Sub("missing"), "u", "p"), std::runtime_error);
}

TEST(ClinicSandbox, PublishesArchivesThatExpandToTheirFilesAndRowsNamingThem) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  PublishVersion(layout, "7.5.13",
                 {{"program/Reports", "monthly.rpt", "layout\n"}, {"system", "a.ocx", "ocx"}});
  EXPECT_TRUE(fs::exists(layout.VersionFolder("7.5.13") + "/program/Reports/monthly.rpt.cab"));
  ASSERT_EQ(RunProgram({"cabextract", "-q", "-d", folder.Sub("out"),
                        layout.VersionFolder("7.5.13") + "/system/a.ocx.cab"}),
            0);
  EXPECT_EQ(ReadBytes(folder.Sub("out/a.ocx")), "ocx");
  EXPECT_EQ(QuerySqlite(layout.crm_db, "SELECT 버전, 파일 FROM 오르벨버전파일 ORDER BY 파일"),
            (std::vector<std::string>{"7.5.13|a.ocx.cab", "7.5.13|monthly.rpt.cab"}));
  EXPECT_EQ(QuerySqlite(layout.crm_db, "SELECT 버전, 고객번호, 가능 FROM 오르벨버전관리"),
            std::vector<std::string>{"7.5.13|C1001|Y"});
  EXPECT_THROW(CreateClinic(layout, ClinicOptions{}), std::runtime_error) << "made twice";
}

TEST(ClinicSandbox, PublishingAFolderOfManyArchivesRecordsEachByItsBareName) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  const std::string version_folder = folder.Sub("published/7.5.13");
  for (int i = 0; i < 1001; ++i) {  // more rows than one insert statement carries
    WriteBytes(version_folder + "/program/d" + std::to_string(i % 7) + "/f" + std::to_string(i) +
                   ".dat.cab",
               "x");
  }
  EXPECT_EQ(PublishExistingFolder(layout, "7.5.13", version_folder), 1001u);
  EXPECT_EQ(QuerySqlite(layout.crm_db, "SELECT count(*), count(distinct 파일), max(length(파일)) "
                                       "FROM 오르벨버전파일 WHERE 버전 = '7.5.13'"),
            std::vector<std::string>{"1001|1001|13"});
}

TEST(SandboxReport, ShowsTheLatestProductVersionAndKeepsStagingApartFromPlacedFiles) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  quillmend::testing::AddSettingRow(layout.clinic_db, "syssVersionno", "7.6.0",
                                    "2025-01-02 10:00:00", "11100001");
  WriteBytes(layout.program_folder + "/Velmont.exe", "new");
  WriteBytes(layout.program_folder + "/Download/program/Velmont.exe.cab", "cab");
  WriteBytes(layout.program_folder + "/NewUpdate/program/Velmont.exe", "pending");
  WriteBytes(layout.program_folder + "/Reports/download/kept.rpt", "report");

  EXPECT_EQ(Summarize(layout).product_version, "7.6.0");
  const std::vector<std::string> placed = ListFiles(layout.program_folder, true);
  EXPECT_NE(std::find(placed.begin(), placed.end(), "Velmont.exe  (3 bytes)"), placed.end());
  EXPECT_NE(std::find(placed.begin(), placed.end(), "Reports/download/kept.rpt  (6 bytes)"),
            placed.end());
  for (const std::string& file : placed) {
    EXPECT_EQ(file.find("Velmont.exe.cab"), std::string::npos) << file;
    EXPECT_EQ(file.find("pending"), std::string::npos) << file;
    EXPECT_NE(file.rfind("NewUpdate", 0), 0u) << file;
  }
  std::ostringstream report;
  PrintReport(layout, report);
  EXPECT_NE(report.str().find("-- pending files (newupdate)\n   program/Velmont.exe  (7 bytes)"),
            std::string::npos)
      << report.str();
}

TEST(ClinicSandbox, BadInputIsAClearErrorThatChangesNothing) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  PointAtFtpServer(layout, "2121");
  EXPECT_THROW(PointAtFtpServer(layout, "abc"), std::runtime_error);
  EXPECT_THROW(PointAtFtpServer(layout, "21'; drop table x"), std::runtime_error);
  EXPECT_EQ(QuerySqlite(layout.crm_db, "SELECT 경로, 포트, 아이디 FROM 오르벨버전서버"),
            std::vector<std::string>{"127.0.0.1/orvel|2121|orvel"});

  const SandboxLayout nowhere(folder.Sub("nowhere"));
  std::ostringstream out;
  EXPECT_THROW(PrintReport(nowhere, out), std::runtime_error);
  EXPECT_FALSE(fs::exists(nowhere.clinic_db)) << "the report must not create a database";
  EXPECT_THROW(PublishVersion(layout, "7.6.0", {}), std::runtime_error);
}

TEST(AgentRun, AHungAgentIsStoppedAtItsTimeLimitAndWhatItSaidIsKept) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  const std::string agent = folder.Sub("hung-agent");
  WriteBytes(agent, "#!/bin/sh\necho \"started in $QUILLMEND_PROGRAM_FOLDER\" >&2\nexec sleep 60\n");
  fs::permissions(agent, fs::perms::owner_all);
  const AgentRun run = RunAgentOnce(agent, layout, 1);
  EXPECT_EQ(run.status, 128 + SIGTERM);
  EXPECT_NE(run.output.find("started in " + layout.program_folder), std::string::npos)
      << run.output;
}

TEST(ClinicSandbox, TheAgentStartsUpAgainstItWithTheClinicDatabaseAndCustomer) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  const AgentRun run = RunAgentOnce(QM_AGENT_PATH, layout, 120);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("lbl고객: C1001"), std::string::npos) << run.output;
  // Start-up made the version tables in the clinic database the settings file names.
  const InstalledSummary summary = Summarize(layout);
  EXPECT_EQ(summary.last_version, "7.5.12");
  EXPECT_EQ(summary.product_version, "7.5.12");
  EXPECT_FALSE(QuerySqlite(layout.clinic_db,
                           "SELECT name FROM sqlite_master WHERE name = '버전파일'").empty());
}

// Files left in the pending folder by an update that could not finish.
void LeavePendingUpdate(const SandboxLayout& layout, const std::string& bytes) {
  WriteBytes(layout.program_folder + "/newupdate/program/Reports/report.rpt", bytes);
}

constexpr const char* kPendingQuestion = "업데이트를 적용하지 못한 프로그램이 있습니다";

TEST(ClinicSandbox, StartUpOffersThePendingUpdateBeforeTheFirstPass) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  LeavePendingUpdate(layout, "pending report");
  const AgentRun run = RunAgentOnce(QM_AGENT_PATH, layout, 120);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReadBytes(layout.program_folder + "/Reports/report.rpt"), "pending report");
  EXPECT_FALSE(fs::exists(layout.program_folder + "/newupdate")) << run.output;
  const size_t asked = run.output.find(kPendingQuestion);
  const size_t pass = run.output.find("Label6: ");
  ASSERT_NE(asked, std::string::npos) << run.output;
  ASSERT_NE(pass, std::string::npos) << run.output;
  EXPECT_LT(asked, pass) << "the question must come before the automatic pass";
}

TEST(ClinicSandbox, ASecondInstanceFinishesThePendingUpdateAndLeavesTheFirstRunning) {
  TempFolder folder;
  const SandboxLayout layout(folder.Sub("clinic"));
  CreateClinic(layout, ClinicOptions{});
  ChildOptions options;
  options.environment = AgentEnvironment(layout, false);
  options.stdout_file = folder.Sub("first.log");
  options.stderr_file = folder.Sub("first.err");
  ChildProcess first({QM_AGENT_PATH}, options);
  // The first instance has passed its own pending check once its first pass has begun.
  const auto first_pass_began = [&] {
    return ReadBytes(folder.Sub("first.err")).find("Label6: ") != std::string::npos;
  };
  WaitUntil([&] { return first_pass_began() || !first.Running(); }, std::chrono::seconds(30),
            "the first instance's pass to begin");
  ASSERT_TRUE(first.Running()) << ReadBytes(folder.Sub("first.err"));
  LeavePendingUpdate(layout, "finished by the second");

  const AgentRun second = RunAgentOnce(QM_AGENT_PATH, layout, 120);
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find(kPendingQuestion), std::string::npos) << second.output;
  EXPECT_EQ(ReadBytes(layout.program_folder + "/Reports/report.rpt"), "finished by the second");
  EXPECT_TRUE(first.Running());
}

}  // namespace
}  // namespace quillmend::sandbox

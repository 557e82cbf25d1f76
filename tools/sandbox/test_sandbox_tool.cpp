// The command-line tool as the demo drives it: what it prints, its exit status on bad input,
// and that it never overwrites or invents a clinic.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "child_process.h"
#include "clinic_sandbox.h"
#include "local_ftp_server.h"
#include "startup/settings.h"
#include "support/temp_folder.h"

namespace quillmend::sandbox {
namespace {

namespace fs = std::filesystem;
using quillmend::testing::TempFolder;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Tool(const TempFolder& folder, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {QM_SANDBOX_TOOL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildOptions options;
  options.stdout_file = folder.Sub("tool.out");
  options.stderr_file = folder.Sub("tool.err");
  const int status = RunProgram(argv, options);
  return {status, ReadBytes(folder.Sub("tool.out")), ReadBytes(folder.Sub("tool.err"))};
}

TEST(SandboxTool, CreateServeAndSummaryGiveTheLinesTheDemoReads) {
  TempFolder folder;
  const std::string root = folder.Sub("clinic");
  const ToolRun create = Tool(folder, {"create", root});
  ASSERT_EQ(create.status, 0) << create.err;
  EXPECT_NE(create.out.find("orvel/7.6.0/system/orvelchart.dll.cab"), std::string::npos)
      << create.out;
  EXPECT_TRUE(fs::exists(root + "/Orvel/Velmont.exe"));
  EXPECT_NE(fs::status(root + "/Orvel/Velmont.exe").permissions() & fs::perms::owner_exec,
            fs::perms::none)
      << "the running main screen must be startable";

  EXPECT_EQ(Tool(folder, {"serve", root, "40021"}).status, 0);
  const ToolRun summary = Tool(folder, {"summary", root});
  EXPECT_EQ(summary.out,
            "last=7.5.12 product=7.5.12 applied_rows=0 crm_rows=0 support_records=0\n");
}

TEST(SandboxTool, BadInputIsRefusedWithAReasonAndTheClinicStaysAsItWas) {
  TempFolder folder;
  const std::string root = folder.Sub("clinic");
  ASSERT_EQ(Tool(folder, {"create", root}).status, 0);
  WriteIniValue(root + "/Orvel/ORVEL_H.ini", "Version", "Last", "7.6.0");

  const ToolRun again = Tool(folder, {"create", root});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already holds a sandbox clinic"), std::string::npos) << again.err;
  EXPECT_EQ(ReadIniValue(root + "/Orvel/ORVEL_H.ini", "Version", "Last", ""), "7.6.0");

  const ToolRun port = Tool(folder, {"serve", root, "abc"});
  EXPECT_EQ(port.status, 1);
  EXPECT_NE(port.err.find("not a port number: abc"), std::string::npos) << port.err;

  const ToolRun missing = Tool(folder, {"report", folder.Sub("elsewhere")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(fs::exists(folder.Sub("elsewhere"))) << "a report must not create a clinic";

  EXPECT_EQ(Tool(folder, {"serve", root}).status, 2);
  EXPECT_EQ(Tool(folder, {"frobnicate", root}).status, 2);
}

TEST(LocalFtpServer, EndsWithItsOwner) {
  TempFolder folder;
  fs::create_directories(folder.Sub("root"));
  pid_t pid = -1;
  {
    LocalFtpServer server(folder.Sub("root"), "u", "p");
    pid = server.pid();
    ASSERT_EQ(kill(pid, 0), 0);
  }
  EXPECT_NE(kill(pid, 0), 0) << "the FTP server outlived its owner";
}

}  // namespace
}  // namespace quillmend::sandbox

// QUILLMEND_FAULTS: read once at process start, so that tests can give agent processes faults;
// a malformed value is reported and changes nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/fault_injection.h"
#include "platform/local_file.h"
#include "support/agent_process.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

bool CanWrite(const std::string& path) {
  LocalFileWriter out;
  return out.Create(path) && out.Write("x", 1) && out.Close();
}

TEST(FaultEnvironment, AValidValueInstallsItsRulesAndAMalformedOneIsReportedAndIgnored) {
  TempFolder temp;
  ::setenv("QUILLMEND_FAULTS", "open:*blocked*:eacces", 1);
  InstallFaultsFromEnvironment();
  EXPECT_FALSE(CanWrite(temp.Sub("blocked.ini")));
  EXPECT_TRUE(CanWrite(temp.Sub("free.ini")));
  RemoveFaults();

  ::setenv("QUILLMEND_FAULTS", "open:*:eacces;open:*blocked*", 1);
  ::testing::internal::CaptureStderr();
  InstallFaultsFromEnvironment();
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("QUILLMEND_FAULTS ignored: fault rule \"open:*blocked*\""),
            std::string::npos)
      << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
  EXPECT_TRUE(CanWrite(temp.Sub("blocked.ini"))) << "not even the valid rule is installed";

  ::unsetenv("QUILLMEND_FAULTS");
  ::testing::internal::CaptureStderr();
  InstallFaultsFromEnvironment();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(CanWrite(temp.Sub("blocked.ini")));
}

// Runs the agent once headless in an empty sandbox (no database: it logs the failed connection
// to Server.ini) and returns its exit status, or -1 when it did not end in time.
int RunAgentOnce(const std::string& folder, const std::string& faults, const std::string& log) {
  std::vector<std::string> settings = {"QUILLMEND_UI=headless", "QUILLMEND_ONLINE=0",
                                       "QUILLMEND_RUN=once", "QUILLMEND_PROGRAM_FOLDER=" + folder};
  if (!faults.empty()) settings.push_back("QUILLMEND_FAULTS=" + faults);
  const int pid = StartAgentProcess(QUILLMEND_AGENT_PATH, settings, log);
  if (pid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

TEST(FaultEnvironment, AnAgentProcessTakesItsFaultsFromTheEnvironment) {
  TempFolder faulty, plain;
  const std::string log = faulty.Sub("agent.err");
  ASSERT_EQ(RunAgentOnce(faulty.path(), "rename:*Server.ini:erofs", log), 0);
  EXPECT_FALSE(FileExists(faulty.Sub("Server.ini")));
  EXPECT_FALSE(FileExists(faulty.Sub("Server.ini.qmtmp")));
  const std::string said = ReadFileBytes(log);
  EXPECT_NE(said.find("could not write [Intenet]"), std::string::npos) << said;

  ASSERT_EQ(RunAgentOnce(plain.path(), "", ""), 0);
  EXPECT_TRUE(FileExists(plain.Sub("Server.ini")));
}

}  // namespace
}  // namespace quillmend

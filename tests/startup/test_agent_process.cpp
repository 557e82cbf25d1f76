// The agent as a real process: run once headless in a sandbox, and a second instance.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <vector>

#include "startup/profile_file.h"
#include "support/agent_process.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace quillmend {
namespace {

using testing::TempFolder;

pid_t StartAgent(const std::string& folder, bool once) {
  std::vector<std::string> settings = {"QUILLMEND_UI=headless", "QUILLMEND_ONLINE=0",
                                       "QUILLMEND_PROGRAM_FOLDER=" + folder};
  if (once) settings.push_back("QUILLMEND_RUN=once");
  const int pid = testing::StartAgentProcess(QUILLMEND_AGENT_PATH, settings);
  EXPECT_GT(pid, 0);
  return static_cast<pid_t>(pid);
}

bool Ended(pid_t pid, int* status) { return testing::AgentEnded(pid, status); }

// Waits for the child to end and returns its exit status; -1 (the test failed) when it is still
// running at the deadline.
int ExitStatus(pid_t pid, std::chrono::seconds deadline) {
  int status = -1;
  if (!testing::WaitUntil([&] { return Ended(pid, &status); }, deadline, "the agent to end")) {
    testing::KillAgent(pid);
  }
  return status;
}

// True when process pid holds a flock() on the file at path (as the kernel lists it).
bool HoldsFileLock(pid_t pid, const std::string& path) {
  struct stat file {};
  if (stat(path.c_str(), &file) != 0) return false;
  std::ifstream locks("/proc/locks");
  const std::regex entry(R"(^\d+: FLOCK\s+\S+\s+WRITE\s+(\d+)\s+[0-9a-f]+:[0-9a-f]+:(\d+)\s)");
  for (std::string line; std::getline(locks, line);) {
    std::smatch match;
    if (std::regex_search(line, match, entry) && std::stol(match[1]) == pid &&
        std::stoull(match[2]) == static_cast<unsigned long long>(file.st_ino)) {
      return true;
    }
  }
  return false;
}

TEST(AgentProcess, RunsOnceHeadlessInAnEmptySandboxAndExitsCleanly) {
  TempFolder sandbox;
  const pid_t agent = StartAgent(sandbox.path(), true);
  EXPECT_EQ(ExitStatus(agent, std::chrono::seconds(60)), 0);
}

TEST(AgentProcess, ASecondInstanceExitsAtOnceAndLeavesTheFirstRunning) {
  TempFolder sandbox;
  const std::string lock = sandbox.Sub("quillmend.lock");
  const pid_t first = StartAgent(sandbox.path(), false);
  int status = -1;
  ASSERT_TRUE(testing::WaitUntil(
      [&] { return HoldsFileLock(first, lock) || Ended(first, &status); },
      std::chrono::seconds(30), "the first instance to take its lock"));
  ASSERT_EQ(status, -1) << "first instance ended early";
  const pid_t second = StartAgent(sandbox.path(), false);
  EXPECT_EQ(ExitStatus(second, std::chrono::seconds(20)), 0);
  EXPECT_FALSE(Ended(first, &status)) << "first instance was touched";
  EXPECT_TRUE(HoldsFileLock(first, lock)) << "first instance lost its lock";
  kill(first, SIGTERM);
  ExitStatus(first, std::chrono::seconds(10));
}

TEST(AgentProcess, AMissingProgramFolderIsAClearError) {
  TempFolder sandbox;
  const pid_t agent = StartAgent(sandbox.Sub("missing"), true);
  EXPECT_EQ(ExitStatus(agent, std::chrono::seconds(20)), 2);
}

}  // namespace
}  // namespace quillmend

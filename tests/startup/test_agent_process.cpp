// The agent as a real process: run once headless in a sandbox, and a second instance.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>
#include <vector>

#include "startup/profile_file.h"
#include "support/agent_process.h"
#include "support/temp_folder.h"

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

// Waits up to timeout for the child to end; returns its exit status or -1 when still running.
int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

TEST(AgentProcess, RunsOnceHeadlessInAnEmptySandboxAndExitsCleanly) {
  TempFolder sandbox;
  const pid_t agent = StartAgent(sandbox.path(), true);
  EXPECT_EQ(WaitFor(agent, std::chrono::seconds(60)), 0);
}

TEST(AgentProcess, ASecondInstanceExitsAtOnceAndLeavesTheFirstRunning) {
  TempFolder sandbox;
  const pid_t first = StartAgent(sandbox.path(), false);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ASSERT_EQ(WaitFor(first, std::chrono::milliseconds(1)), -1) << "first instance ended early";
  const pid_t second = StartAgent(sandbox.path(), false);
  EXPECT_EQ(WaitFor(second, std::chrono::seconds(20)), 0);
  EXPECT_EQ(WaitFor(first, std::chrono::milliseconds(200)), -1) << "first instance was touched";
  kill(first, SIGTERM);
  WaitFor(first, std::chrono::seconds(5));
}

TEST(AgentProcess, AMissingProgramFolderIsAClearError) {
  TempFolder sandbox;
  const pid_t agent = StartAgent(sandbox.Sub("missing"), true);
  EXPECT_EQ(WaitFor(agent, std::chrono::seconds(20)), 2);
}

}  // namespace
}  // namespace quillmend

// The agent as a child process of a POSIX test.
#pragma once

#include <string>
#include <vector>

namespace quillmend::testing {

// Starts the agent at agent_path with the given "NAME=value" settings in its environment. Every
// other QUILLMEND_ variable of this process is left out, the rest of the environment is passed
// on. Standard input is /dev/null; standard error goes to stderr_path when it is not empty.
// Returns the child's process id, or -1 when it could not be started.
int StartAgentProcess(const std::string& agent_path, const std::vector<std::string>& settings,
                      const std::string& stderr_path = "");

// True once the agent started as pid has ended (it is then reaped); *status receives its exit
// status, or 128 when a signal ended it. Never waits.
bool AgentEnded(int pid, int* status);

// Ends the agent with SIGKILL and reaps it.
void KillAgent(int pid);

}  // namespace quillmend::testing

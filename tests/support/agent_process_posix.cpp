#include "support/agent_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace quillmend::testing {

int StartAgentProcess(const std::string& agent_path, const std::vector<std::string>& settings,
                      const std::string& stderr_path) {
  std::vector<std::string> env_text = settings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("QUILLMEND_", 0) != 0) env_text.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!stderr_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  std::string program = agent_path;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, agent_path.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? static_cast<int>(pid) : -1;
}

bool AgentEnded(int pid, int* status) {
  int raw = 0;
  if (::waitpid(static_cast<pid_t>(pid), &raw, WNOHANG) != static_cast<pid_t>(pid)) return false;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
  return true;
}

void KillAgent(int pid) {
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  ::waitpid(static_cast<pid_t>(pid), nullptr, 0);
}

}  // namespace quillmend::testing

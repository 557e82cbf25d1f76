#include "agent_run.h"

#include <chrono>
#include <thread>

#ifndef QM_ODBCSYSINI
#define QM_ODBCSYSINI ""
#endif

namespace quillmend::sandbox {

std::vector<std::string> AgentEnvironment(const SandboxLayout& layout, bool once) {
  std::vector<std::string> env = {
      "ODBCSYSINI=" QM_ODBCSYSINI,
      "ODBCINI=" + layout.root + "/odbc.ini",
      "LC_ALL=C.UTF-8",
      "QM_REGISTER_LOG=" + layout.register_log,
      "QUILLMEND_UI=headless",
      "QUILLMEND_ANSWERS=yes",
      "QUILLMEND_DEFAULT_ANSWER=yes",
      "QUILLMEND_ONLINE=1",
      "QUILLMEND_PROGRAM_FOLDER=" + layout.program_folder,
  };
  env.push_back(once ? "QUILLMEND_RUN=once" : "QUILLMEND_RUN=");
  return env;
}

AgentRun RunAgentOnce(const std::string& agent_path, const SandboxLayout& layout,
                      int timeout_seconds) {
  ChildOptions options;
  options.environment = AgentEnvironment(layout, true);
  const std::string log = layout.root + "/agent-run.log";
  options.stdout_file = log;
  options.stderr_file = log + ".err";
  AgentRun run;
  const auto start = std::chrono::steady_clock::now();
  ChildProcess agent({agent_path}, options);
  const auto deadline = start + std::chrono::seconds(timeout_seconds);
  while (agent.Running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.status = agent.Running() ? agent.Stop() : agent.Wait();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.output = ReadBytes(log) + ReadBytes(log + ".err");
  return run;
}

}  // namespace quillmend::sandbox

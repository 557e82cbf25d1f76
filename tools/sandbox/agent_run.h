// Runs the agent against a sandbox clinic the way the demo does: headless, online, answering
// Yes, with the project's ODBC driver registry.
#pragma once

#include <string>
#include <vector>

#include "child_process.h"
#include "clinic_sandbox.h"

namespace quillmend::sandbox {

// The environment of an agent run: program folder, headless window, online, answers Yes,
// the ODBC registry, the registration log; once: exit after the first automatic pass.
std::vector<std::string> AgentEnvironment(const SandboxLayout& layout, bool once);

struct AgentRun {
  int status = -1;
  double seconds = 0;   // wall time from start to exit
  std::string output;   // standard output and error
};

// Runs the agent at agent_path once (QUILLMEND_RUN=once) and waits for it, at most
// timeout_seconds (then it is stopped and status is 128 + signal).
AgentRun RunAgentOnce(const std::string& agent_path, const SandboxLayout& layout,
                      int timeout_seconds = 600);

}  // namespace quillmend::sandbox

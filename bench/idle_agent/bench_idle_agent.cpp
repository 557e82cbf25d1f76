// The agent at rest: headless, online, between passes (its first automatic pass has run and
// found nothing newer). Samples resident memory each second and the CPU time and context
// switches over N seconds, and measures a program that only sleeps (the sandbox's stand-in
// main screen) the same way in the same run as the floor.
// Usage: bench_idle_agent [seconds] [work folder]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "agent_run.h"
#include "child_process.h"
#include "clinic_sandbox.h"
#include "local_ftp_server.h"

#ifndef QM_AGENT_PATH
#define QM_AGENT_PATH "quillmend"
#endif
#ifndef QM_SLEEPER_PATH
#define QM_SLEEPER_PATH "quillmend-sleeper"
#endif

namespace fs = std::filesystem;
using namespace quillmend;

namespace {

struct Sample {
  long rss_kib = 0;
  long cpu_ticks = 0;           // user + system
  long context_switches = 0;    // voluntary + involuntary
  bool alive = false;
};

long StatusField(const std::string& status, const std::string& name) {
  const size_t at = status.find("\n" + name + ":");
  return at == std::string::npos ? 0 : std::atol(status.c_str() + at + name.size() + 2);
}

Sample Read(pid_t pid) {
  Sample sample;
  std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(stat_file, stat)) return sample;
  // Fields after the command name (which may hold blanks): state is field 3, utime 14, stime 15.
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14) utime = std::atol(field.c_str());
    if (index == 15) { stime = std::atol(field.c_str()); break; }
  }
  std::ifstream status_file("/proc/" + std::to_string(pid) + "/status");
  std::ostringstream status_text;
  status_text << "\n" << status_file.rdbuf();
  const std::string status = status_text.str();
  sample.rss_kib = StatusField(status, "VmRSS");
  sample.cpu_ticks = utime + stime;
  sample.context_switches =
      StatusField(status, "voluntary_ctxt_switches") + StatusField(status, "nonvoluntary_ctxt_switches");
  sample.alive = true;
  return sample;
}

struct Measured {
  long rss_last = 0, rss_max = 0;
  double cpu_seconds = 0;
  long switches = 0;
};

Measured Measure(pid_t pid, int seconds) {
  const Sample first = Read(pid);
  Measured m;
  Sample last = first;
  for (int s = 0; s < seconds; ++s) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const Sample now = Read(pid);
    if (!now.alive) break;
    last = now;
    m.rss_max = std::max(m.rss_max, now.rss_kib);
  }
  m.rss_last = last.rss_kib;
  m.cpu_seconds = static_cast<double>(last.cpu_ticks - first.cpu_ticks) / sysconf(_SC_CLK_TCK);
  m.switches = last.context_switches - first.context_switches;
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  return sandbox::MainGuarded([&] {
    const int seconds = std::max(1, argc > 1 ? std::atoi(argv[1]) : 60);
    const std::string work = argc > 2 ? argv[2] : (fs::temp_directory_path() / "qm-bench-idle").string();
    fs::remove_all(work);
    const sandbox::SandboxLayout clinic(work + "/clinic");
    sandbox::CreateClinic(clinic, sandbox::ClinicOptions{});
    sandbox::LocalFtpServer server(clinic.ftp_root, sandbox::kFtpUser, sandbox::kFtpPassword);
    sandbox::PointAtFtpServer(clinic, server.port());

    sandbox::ChildOptions options;
    options.environment = sandbox::AgentEnvironment(clinic, false);
    options.stdout_file = work + "/agent.log";
    options.stderr_file = work + "/agent.err";
    sandbox::ChildProcess agent({QM_AGENT_PATH}, options);

    // Between passes: the first pass has ended when the agent's CPU time stands still for two
    // seconds (at most a minute).
    long previous = -1;
    int still = 0;
    for (int waited = 0; waited < 240 && still < 8; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      const Sample now = Read(agent.pid());
      if (!now.alive || !agent.Running()) {
        std::fprintf(stderr, "the agent ended (status %d); see %s/agent.err\n", agent.Wait(), work.c_str());
        return 1;
      }
      still = now.cpu_ticks == previous ? still + 1 : 0;
      previous = now.cpu_ticks;
    }

    sandbox::ChildProcess sleeper({QM_SLEEPER_PATH, std::to_string(seconds + 30)});
    std::printf("idle agent (headless, online, between passes), %d s:\n", seconds);
    const Measured ours = Measure(agent.pid(), seconds);
    const Measured floor = Measure(sleeper.pid(), 1);
    if (!agent.Running()) {
      std::fprintf(stderr, "the agent ended while measured; see %s/agent.err\n", work.c_str());
      return 1;
    }
    std::printf("  resident memory: %ld KiB (highest %ld KiB)\n", ours.rss_last, ours.rss_max);
    std::printf("  CPU time: %.2f s = %.3f %% of one core\n", ours.cpu_seconds,
                100.0 * ours.cpu_seconds / seconds);
    std::printf("  context switches: %ld (%.1f per second)\n", ours.switches,
                static_cast<double>(ours.switches) / seconds);
    std::printf("a program that only sleeps: %ld KiB resident\n", floor.rss_last);
    std::printf("ratio resident memory agent / sleeping program: %.1f\n",
                static_cast<double>(ours.rss_last) / std::max(1L, floor.rss_last));
    return 0;
  });
}

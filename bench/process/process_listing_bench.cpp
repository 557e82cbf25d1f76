// Lists the processes of a machine running N extra processes (default 3000, first argument) and
// compares the time with `ps -A -o pid=,args=` listing the same processes in the same run.
// Prints the median of 7 rounds of each and their ratio.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "process/process_list.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Work>
double MedianMilliseconds(Work work) {
  std::vector<double> times;
  for (int round = 0; round < 7; ++round) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

size_t RunPs() {
  FILE* pipe = popen("ps -A -o pid=,args=", "r");
  if (pipe == nullptr) return 0;
  size_t lines = 0;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) ++lines;
  pclose(pipe);
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 3000;
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      pause();
      _exit(0);
    }
    if (pid < 0) break;
    children.push_back(pid);
  }

  quillmend::ListViewControl list;
  size_t listed = 0;
  const double ours = MedianMilliseconds([&] {
    quillmend::ListProcessesInto(list, quillmend::kProcessStatusPlatformId);
    listed = list.items.size();
  });
  size_t ps_lines = 0;
  const double peer = MedianMilliseconds([&] { ps_lines = RunPs(); });

  for (const pid_t pid : children) kill(pid, SIGKILL);
  for (const pid_t pid : children) waitpid(pid, nullptr, 0);

  std::printf("extra processes: %zu\n", children.size());
  std::printf("ListProcesses: %zu entries, median %.1f ms\n", listed, ours);
  std::printf("ps -A -o pid=,args=: %zu lines, median %.1f ms\n", ps_lines, peer);
  std::printf("ratio ListProcesses / ps: %.2f\n", peer > 0 ? ours / peer : 0.0);
  return 0;
}

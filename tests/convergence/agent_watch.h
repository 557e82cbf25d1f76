// One agent run watched line by line: its standard output and error are read as it writes
// them, actions fire when a line shows the moment they wait for (the agent killed, a server
// stopped, a fault lifted), and the run is stopped at its time limit.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quillmend::convergence {

// An action for a moment of the run: after the occurrence-th line that contains pattern (an
// empty pattern and no file test: the start), or the occurrence-th file created below the
// watched folders that file_test accepts, and delay_ms later, do run (once).
struct Moment {
  std::string pattern;
  std::string unless;  // a line that also holds this text does not count
  std::function<bool(const std::string& path)> file_test;
  int occurrence = 1;
  int delay_ms = 0;
  std::function<void(int pid)> run;
  bool fired = false;
};

struct WatchedRun {
  int status = -1;          // exit status, 128 + signal when killed
  bool timed_out = false;   // stopped at the time limit
  double seconds = 0;
  std::string output;       // everything it wrote
};

// Starts agent_path with the given "NAME=value" entries added to this process's environment
// (other QUILLMEND_ variables removed). host_name not empty: the agent runs in its own host-name
// namespace under that name (a workstation of its own). Fires the moments and waits for the
// end, at most limit_seconds. Files are watched below every folder of watched (and the folders
// made below them while it runs). Throws std::runtime_error when the agent cannot be started.
WatchedRun RunWatched(const std::string& agent_path, const std::vector<std::string>& environment,
                      const std::string& host_name, std::vector<Moment>& moments,
                      const std::vector<std::string>& watched, int limit_seconds);

}  // namespace quillmend::convergence

#include "agent_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

extern char** environ;

namespace quillmend::convergence {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& added) {
  std::map<std::string, std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name.rfind("QUILLMEND_", 0) == 0) continue;
    entries[name] = entry;
  }
  for (const std::string& entry : added) entries[entry.substr(0, entry.find('='))] = entry;
  std::vector<std::string> result;
  for (const auto& [name, entry] : entries) result.push_back(entry);
  return result;
}

// Files created below a set of folders, new subfolders included, through inotify.
class CreatedFiles {
 public:
  explicit CreatedFiles(const std::vector<std::string>& folders) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    for (const std::string& folder : folders) Watch(folder, nullptr);
  }
  ~CreatedFiles() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  // The paths created since the last call.
  std::vector<std::string> Read() {
    std::vector<std::string> created;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) break;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        const auto folder = folders_.find(event->wd);
        if (folder == folders_.end() || event->len == 0) continue;
        const std::string path = folder->second + "/" + event->name;
        if (event->mask & IN_ISDIR) {
          Watch(path, &created);
        } else {
          created.push_back(path);
        }
      }
    }
    return created;
  }

 private:
  void Watch(const std::string& folder, std::vector<std::string>* already) {
    if (fd_ < 0) return;
    const int wd = inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
    if (wd < 0) return;
    folders_[wd] = folder;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      if (entry.is_directory(ec)) {
        Watch(entry.path().string(), already);
      } else if (already != nullptr) {
        already->push_back(entry.path().string());  // made before the watch was in place
      }
    }
  }

  int fd_ = -1;
  std::map<int, std::string> folders_;
};

int ExitStatus(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

WatchedRun RunWatched(const std::string& agent_path, const std::vector<std::string>& environment,
                      const std::string& host_name, std::vector<Moment>& moments,
                      const std::vector<std::string>& watched, int limit_seconds) {
  bool watch_files = false;
  for (const Moment& m : moments) watch_files = watch_files || static_cast<bool>(m.file_test);
  CreatedFiles files(watch_files ? watched : std::vector<std::string>{});
  const std::vector<std::string> env_text = ChildEnvironment(environment);
  std::vector<char*> env;
  for (const std::string& entry : env_text) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    // The child: only async-signal-safe calls until exec.
    if (!host_name.empty()) {
      if (unshare(CLONE_NEWUTS) != 0 || sethostname(host_name.c_str(), host_name.size()) != 0) {
        _exit(126);
      }
    }
    const int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, STDIN_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    dup2(fds[1], STDERR_FILENO);
    char* argv[] = {const_cast<char*>(agent_path.c_str()), nullptr};
    execve(agent_path.c_str(), argv, env.data());
    _exit(127);
  }
  close(fds[1]);
  WatchedRun run;
  std::map<size_t, int> seen;  // moment index -> matching lines so far
  std::map<size_t, Clock::time_point> due;
  for (size_t i = 0; i < moments.size(); ++i) {
    if (moments[i].pattern.empty() && !moments[i].file_test) {
      due[i] = start + std::chrono::milliseconds(moments[i].delay_ms);
    }
  }
  const auto deadline = start + std::chrono::seconds(limit_seconds);
  std::string pending;
  bool open_output = true;
  int raw = 0;
  bool ended = false;
  while (!ended) {
    const auto now = Clock::now();
    for (auto it = due.begin(); it != due.end();) {
      if (now >= it->second) {
        Moment& m = moments[it->first];
        if (!m.fired) {
          m.fired = true;
          m.run(pid);
        }
        it = due.erase(it);
      } else {
        ++it;
      }
    }
    if (now >= deadline && !run.timed_out) {
      run.timed_out = true;
      kill(pid, SIGKILL);
    }
    // Files are looked at every millisecond while a moment waits for one.
    int wait_ms = watch_files ? 1 : 20;
    if (watch_files) {
      for (const std::string& path : files.Read()) {
        for (size_t i = 0; i < moments.size(); ++i) {
          Moment& m = moments[i];
          if (m.fired || !m.file_test || due.count(i) || !m.file_test(path)) continue;
          if (++seen[i] == m.occurrence) {
            due[i] = Clock::now() + std::chrono::milliseconds(m.delay_ms);
          }
        }
      }
    }
    for (const auto& [index, when] : due) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count();
      wait_ms = std::max<int>(0, std::min<int>(wait_ms, static_cast<int>(left)));
    }
    if (open_output) {
      pollfd p{fds[0], POLLIN, 0};
      const int ready = poll(&p, 1, wait_ms);
      if (ready > 0) {
        char buffer[8192];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0) {
          open_output = false;
        } else {
          run.output.append(buffer, static_cast<size_t>(got));
          pending.append(buffer, static_cast<size_t>(got));
          size_t end;
          while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            for (size_t i = 0; i < moments.size(); ++i) {
              Moment& m = moments[i];
              if (m.fired || m.pattern.empty() || m.file_test || due.count(i)) continue;
              if (line.find(m.pattern) == std::string::npos) continue;
              if (!m.unless.empty() && line.find(m.unless) != std::string::npos) continue;
              if (++seen[i] == m.occurrence) {
                due[i] = Clock::now() + std::chrono::milliseconds(m.delay_ms);
              }
            }
          }
        }
      }
    } else {
      usleep(static_cast<useconds_t>(wait_ms) * 1000);
    }
    const pid_t done = waitpid(pid, &raw, WNOHANG);
    if (done == pid) ended = true;
  }
  // What it wrote last, after its end.
  for (;;) {
    char buffer[8192];
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) break;
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    run.output.append(buffer, static_cast<size_t>(got));
  }
  close(fds[0]);
  run.status = ExitStatus(raw);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return run;
}

}  // namespace quillmend::convergence

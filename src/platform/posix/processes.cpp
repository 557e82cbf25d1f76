// Processes on POSIX, read from /proc and ended with signals.
//
// How the Windows operations map:
//   GetVersionExA's platform id   -> 2: /proc gives ids and full paths like the process-status
//                                    functions, so the NT-family rules apply (own process left
//                                    out, "\SystemRoot\" becomes "C:\WINDOWS\").
//   Toolhelp snapshot / EnumProcesses -> the numbered entries of /proc, in /proc's order.
//   GetModuleFileNameEx            -> readlink /proc/<id>/exe; when the link cannot be read
//                                    (another user's process), the first word of
//                                    /proc/<id>/cmdline.
//   TerminateProcess               -> kill(SIGKILL): a hard kill, like TerminateProcess.
//   DebugActiveProcess             -> nothing. Its effect on a survivor is to stop it for as long
//                                    as this program runs; SIGSTOP would stop it for good.
//   SeDebugPrivilege               -> nothing to enable: the right to signal follows from the
//                                    user and capabilities of this process.

#include "platform/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace quillmend {
namespace {

constexpr const char* kDeletedMark = " (deleted)";

// Parses a /proc entry name that is a process id; 0 for anything else.
std::uint32_t ProcessIdFromName(const char* name) {
  std::uint32_t id = 0;
  if (*name == '\0') return 0;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0;
    if (id > (UINT32_MAX - 9) / 10) return 0;
    id = id * 10 + static_cast<std::uint32_t>(*p - '0');
  }
  return id;
}

// Calls visit(id) for every process in /proc's order; false when /proc cannot be read.
template <typename Visit>
bool ForEachProcessId(Visit visit) {
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::uint32_t id = ProcessIdFromName(entry->d_name);
    if (id != 0) visit(id);
  }
  closedir(dir);
  return true;
}

std::optional<std::string> ReadLinkText(const std::string& link) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    if (buffer.size() >= 1u << 20) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

// The kernel appends " (deleted)" to the link of an executable that was replaced or removed
// since the process started; the path itself is the part before it.
std::string WithoutDeletedMark(std::string path) {
  const size_t mark = std::strlen(kDeletedMark);
  if (path.size() > mark && path.compare(path.size() - mark, mark, kDeletedMark) == 0) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) path.resize(path.size() - mark);
  }
  return path;
}

// Whether an executable is one of Wine's loaders (by its file name).
bool IsWineLoader(const std::string& executable) {
  const size_t slash = executable.find_last_of('/');
  const std::string name = executable.substr(slash == std::string::npos ? 0 : slash + 1);
  return name == "wine" || name == "wine64" || name == "wine-preloader" ||
         name == "wine64-preloader";
}

// The first NUL-terminated word of /proc/<id>/cmdline (argv[0]); empty when there is none.
std::string FirstCommandLineWord(std::uint32_t process_id) {
  const std::string file = "/proc/" + std::to_string(process_id) + "/cmdline";
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string word;
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const void* nul = std::memchr(chunk, '\0', static_cast<size_t>(n));
    if (nul != nullptr) {
      word.append(chunk, static_cast<size_t>(static_cast<const char*>(nul) - chunk));
      break;
    }
    word.append(chunk, static_cast<size_t>(n));
    if (word.size() > (1u << 20)) break;
  }
  close(fd);
  return word;
}

// kill() with an id that is 0 or does not fit a positive pid_t would signal a process group or
// every process: such ids are refused.
bool KillHard(std::uint32_t process_id) {
  if (process_id == 0 || process_id > static_cast<std::uint32_t>(INT_MAX)) return false;
  return kill(static_cast<pid_t>(process_id), SIGKILL) == 0;
}

}  // namespace

std::int32_t QueryPlatformId() { return 2; }

bool TakeProcessSnapshot(std::vector<SnapshotProcess>* processes) {
  processes->clear();
  return ForEachProcessId([&](std::uint32_t id) {
    if (auto path = ReadProcessExecutablePath(id)) processes->push_back({id, std::move(*path)});
  });
}

bool EnumerateProcessIds(std::uint32_t* ids, std::uint32_t buffer_bytes,
                         std::uint32_t* bytes_written) {
  const std::uint32_t room = buffer_bytes / 4;
  std::uint32_t count = 0;
  const bool listed = ForEachProcessId([&](std::uint32_t id) {
    if (count < room) ids[count++] = id;
  });
  *bytes_written = listed ? count * 4 : 0;
  return listed;
}

std::optional<std::string> ReadProcessExecutablePath(std::uint32_t process_id) {
  const std::string base = "/proc/" + std::to_string(process_id);
  if (auto target = ReadLinkText(base + "/exe"); target && !target->empty()) {
    // A Windows program run under Wine shows the loader as its executable; the program itself
    // is the first word of the command line the loader leaves.
    if (!IsWineLoader(*target)) return WithoutDeletedMark(std::move(*target));
    if (std::string word = FirstCommandLineWord(process_id); !word.empty()) return word;
    return WithoutDeletedMark(std::move(*target));
  }
  std::string word = FirstCommandLineWord(process_id);
  if (word.empty()) return std::nullopt;
  return word;
}

bool TerminateProcessById(std::uint32_t process_id, std::uint32_t exit_code) {
  (void)exit_code;  // a signal carries no exit code
  return KillHard(process_id);
}

bool AttachDebuggerToProcess(std::uint32_t process_id) {
  (void)process_id;
  return false;
}

bool TerminateProcessWithDebugPrivilege(std::uint32_t process_id, std::uint32_t exit_code) {
  (void)exit_code;
  return KillHard(process_id);
}

}  // namespace quillmend

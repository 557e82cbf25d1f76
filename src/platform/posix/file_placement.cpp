// Atomic placement on POSIX: copy into a temporary file beside the target, fsync, carry the
// source's times over with nanoseconds, rename(2) over the target, fsync the folder.
#include "platform/file_placement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix/system_calls.h"

namespace quillmend {
namespace {

std::string ErrnoText(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) posix_calls.close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the error close(2) gives (a delayed write error shows up here).
  int Close() {
    const int result = posix_calls.close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

void CopyContents(int from, int to, const std::string& source, const std::string& temp) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FilePlacementError(ErrnoText("cannot read", source, errno));
    }
    if (got == 0) return;
    ssize_t done = 0;
    while (done < got) {
      const ssize_t put =
          posix_calls.write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        throw FilePlacementError(ErrnoText("cannot write", temp, errno));
      }
      done += put;
    }
  }
}

}  // namespace

std::optional<std::int64_t> LastModifiedStamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

bool IsVisibleFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const size_t cut = path.find_last_of('/');
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  return !name.empty() && name[0] != '.';
}

void ReplaceFileAtomically(const std::string& source, const std::string& target) {
  Fd in(posix_calls.open(source.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (in.get() < 0) throw FilePlacementError(ErrnoText("cannot open", source, errno));
  struct stat info {};
  if (::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw FilePlacementError("not a readable file: " + source);
  }
  // A replaced file keeps its own permission bits: archives carry none, so a program expanded
  // from one would otherwise lose its execute bit. A new file takes the source's, with execute
  // added wherever reading is allowed, so that a program placed where none existed can start.
  struct stat replaced {};
  const mode_t mode = (::stat(target.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)
                           ? replaced.st_mode
                           : info.st_mode | ((info.st_mode & 0444) >> 2)) &
                      07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
  const std::string temp = PlacementTempPath(target);
  Fd out(posix_calls.open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (out.get() < 0) throw FilePlacementError(ErrnoText("cannot create", temp, errno));
  // The mode given to open is narrowed by the umask; the replaced file's bits are kept whole.
  if (::fchmod(out.get(), mode) != 0) {
    const int error = errno;
    posix_calls.unlink(temp.c_str());
    throw FilePlacementError(ErrnoText("cannot set the permissions of", temp, error));
  }
  try {
    CopyContents(in.get(), out.get(), source, temp);
    if (posix_calls.fsync(out.get()) != 0) {
      throw FilePlacementError(ErrnoText("cannot flush", temp, errno));
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (posix_calls.futimens(out.get(), times) != 0) {
      throw FilePlacementError(ErrnoText("cannot set the time of", temp, errno));
    }
    if (const int error = out.Close(); error != 0) {
      throw FilePlacementError(ErrnoText("cannot close", temp, error));
    }
    if (posix_calls.rename(temp.c_str(), target.c_str()) != 0) {
      throw FilePlacementError(ErrnoText("cannot replace", target, errno));
    }
  } catch (...) {
    posix_calls.unlink(temp.c_str());
    throw;
  }
  // Make the rename itself durable. Failing to flush the folder does not undo the placement.
  Fd folder(posix_calls.open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (folder.get() >= 0) posix_calls.fsync(folder.get());
}

}  // namespace quillmend

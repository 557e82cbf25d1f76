// Single instance on POSIX: an exclusive flock() on "quillmend.lock" in the program folder.
// The kernel drops the lock when the holding process dies, so a crash never blocks the next start.
#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace quillmend {
namespace {

class FileLock final : public InstanceLock {
 public:
  explicit FileLock(int fd) : fd_(fd) {}
  ~FileLock() override {
    if (fd_ >= 0) close(fd_);
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<InstanceLock> TryAcquireInstanceLock(const std::string& program_folder) {
  const std::string path = program_folder + "/quillmend.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return std::make_unique<FileLock>(-1);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (err == EWOULDBLOCK) return nullptr;
    return std::make_unique<FileLock>(-1);
  }
  return std::make_unique<FileLock>(fd);
}

}  // namespace quillmend

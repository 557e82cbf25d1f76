#include "disk_faults.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace quillmend::convergence {

namespace fs = std::filesystem;

bool EnterPrivateMountNamespace(std::string& why) {
  if (geteuid() != 0) {
    why = "not running as root";
    return false;
  }
  if (unshare(CLONE_NEWNS) != 0) {
    why = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    return false;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    why = std::string("making / private: ") + std::strerror(errno);
    return false;
  }
  return true;
}

SmallDisk::SmallDisk(const std::string& folder, std::uint64_t size_bytes) : folder_(folder) {
  fs::create_directories(folder);
  const std::string options = "size=" + std::to_string(size_bytes) + ",mode=0755";
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    throw std::runtime_error("cannot mount a tmpfs at " + folder + ": " + std::strerror(errno));
  }
  mounted_ = true;
}

SmallDisk::~SmallDisk() {
  if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
}

void SmallDisk::Fill(std::uint64_t leave_bytes) {
  struct statvfs info{};
  if (statvfs(folder_.c_str(), &info) != 0) throw std::runtime_error("statvfs " + folder_);
  const std::uint64_t free_bytes = std::uint64_t(info.f_bavail) * info.f_frsize;
  const int fd = open(BallastPath().c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + BallastPath());
  std::uint64_t take = free_bytes > leave_bytes ? free_bytes - leave_bytes : 0;
  static const std::string block(1 << 20, '\x5b');
  while (take > 0) {
    const size_t n = static_cast<size_t>(std::min<std::uint64_t>(take, block.size()));
    const ssize_t written = write(fd, block.data(), n);
    if (written <= 0) break;  // full already
    take -= static_cast<std::uint64_t>(written);
  }
  close(fd);
}

void SmallDisk::Empty() {
  std::error_code ec;
  fs::remove(BallastPath(), ec);
}

ReadOnlyFolder::ReadOnlyFolder(const std::string& folder) : folder_(folder) {
  if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    throw std::runtime_error("cannot bind " + folder + ": " + std::strerror(errno));
  }
  mounted_ = true;
  if (mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    const std::string error = std::strerror(errno);
    Lift();
    throw std::runtime_error("cannot make " + folder + " read-only: " + error);
  }
}

ReadOnlyFolder::~ReadOnlyFolder() { Lift(); }

void ReadOnlyFolder::Lift() {
  if (mounted_ && umount2(folder_.c_str(), MNT_DETACH) == 0) mounted_ = false;
}

}  // namespace quillmend::convergence

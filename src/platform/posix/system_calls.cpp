// The POSIX system-call table and its checking versions, which ask the fault rules first.
#include "platform/posix/system_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/common/fault_table.h"

namespace quillmend {
namespace {

int OwnOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

constexpr PosixCalls kOwnCalls = {
    OwnOpen,   ::close,     ::write,    ::fsync, ::rename, ::unlink,
    ::futimens, ::utimensat, ::connect, ::send,  ::recv,
};

int ErrnoOf(FaultError error) {
  switch (error) {
    case FaultError::kDiskFull: return ENOSPC;
    case FaultError::kAccessDenied: return EACCES;
    case FaultError::kIoError: return EIO;
    case FaultError::kReadOnly: return EROFS;
    case FaultError::kConnectionReset: return ECONNRESET;
    case FaultError::kTimedOut: return ETIMEDOUT;
  }
  return EIO;
}

// True (errno set) when the call is to fail.
bool Fails(FaultOperation operation, std::string_view path, std::string_view second = {}) {
  const auto error = fault::TakeFault(operation, path, second);
  if (!error) return false;
  errno = ErrnoOf(*error);
  return true;
}

int CheckedOpen(const char* path, int flags, mode_t mode) {
  if (Fails(FaultOperation::kOpen, path)) return -1;
  const int fd = ::open(path, flags, mode);
  if (fd >= 0) fault::RememberHandle(fd, path);
  return fd;
}

int CheckedClose(int fd) {
  fault::ForgetHandle(fd);
  return ::close(fd);
}

ssize_t CheckedWrite(int fd, const void* data, size_t size) {
  if (Fails(FaultOperation::kWrite, fault::HandlePath(fd))) return -1;
  return ::write(fd, data, size);
}

int CheckedFsync(int fd) {
  if (Fails(FaultOperation::kFlush, fault::HandlePath(fd))) return -1;
  return ::fsync(fd);
}

int CheckedRename(const char* from, const char* to) {
  if (Fails(FaultOperation::kRename, from, to)) return -1;
  return ::rename(from, to);
}

int CheckedUnlink(const char* path) {
  if (Fails(FaultOperation::kRemove, path)) return -1;
  return ::unlink(path);
}

int CheckedFutimens(int fd, const struct timespec times[2]) {
  if (Fails(FaultOperation::kSetTime, fault::HandlePath(fd))) return -1;
  return ::futimens(fd, times);
}

int CheckedUtimensat(int folder_fd, const char* path, const struct timespec times[2],
                     int flags) {
  if (Fails(FaultOperation::kSetTime, path)) return -1;
  return ::utimensat(folder_fd, path, times, flags);
}

int CheckedConnect(int fd, const struct sockaddr* address, socklen_t length) {
  if (Fails(FaultOperation::kConnect, {})) return -1;
  return ::connect(fd, address, length);
}

ssize_t CheckedSend(int fd, const void* data, size_t size, int flags) {
  if (Fails(FaultOperation::kSend, {})) return -1;
  return ::send(fd, data, size, flags);
}

ssize_t CheckedRecv(int fd, void* buffer, size_t size, int flags) {
  if (Fails(FaultOperation::kRecv, {})) return -1;
  return ::recv(fd, buffer, size, flags);
}

constexpr PosixCalls kCheckingCalls = {
    CheckedOpen,     CheckedClose,     CheckedWrite,   CheckedFsync, CheckedRename, CheckedUnlink,
    CheckedFutimens, CheckedUtimensat, CheckedConnect, CheckedSend,  CheckedRecv,
};

}  // namespace

constinit PosixCalls posix_calls = kOwnCalls;

void fault::UseCheckingSystemCalls(bool checking) {
  posix_calls = checking ? kCheckingCalls : kOwnCalls;
}

}  // namespace quillmend

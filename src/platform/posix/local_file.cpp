// The local-file writer on POSIX: plain file descriptors through the system-call table.
#include "platform/local_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/system_calls.h"

namespace quillmend {
namespace {

bool Fail(std::string* error, const char* what, const std::string& path, int code) {
  if (error != nullptr) *error = std::string(what) + " " + path + ": " + std::strerror(code);
  return false;
}

}  // namespace

LocalFileWriter::~LocalFileWriter() {
  if (IsOpen()) posix_calls.close(static_cast<int>(handle_));
}

bool LocalFileWriter::Create(const std::string& path, std::string* error) {
  if (IsOpen()) Close();
  path_ = path;
  const int fd = posix_calls.open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Fail(error, "cannot create", path, errno);
  handle_ = fd;
  return true;
}

bool LocalFileWriter::Write(const void* data, std::size_t size, std::string* error) {
  if (!IsOpen()) return Fail(error, "cannot write", path_, EBADF);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = posix_calls.write(static_cast<int>(handle_), p, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return Fail(error, "cannot write", path_, errno);
    }
    p += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool LocalFileWriter::Flush(std::string* error) {
  if (!IsOpen()) return Fail(error, "cannot flush", path_, EBADF);
  if (posix_calls.fsync(static_cast<int>(handle_)) != 0) {
    return Fail(error, "cannot flush", path_, errno);
  }
  return true;
}

bool LocalFileWriter::Close(std::string* error) {
  if (!IsOpen()) return true;
  const int result = posix_calls.close(static_cast<int>(handle_));
  handle_ = kNoHandle;
  if (result != 0) return Fail(error, "cannot close", path_, errno);
  return true;
}

bool RenameLocalFile(const std::string& from, const std::string& to, std::string* error) {
  if (posix_calls.rename(from.c_str(), to.c_str()) != 0) {
    return Fail(error, "cannot rename", from + " to " + to, errno);
  }
  return true;
}

bool RemoveLocalFile(const std::string& path, std::string* error) {
  if (posix_calls.unlink(path.c_str()) != 0 && errno != ENOENT) {
    return Fail(error, "cannot remove", path, errno);
  }
  return true;
}

bool SetLocalFileTime(const std::string& path, std::int64_t stamp, std::string* error) {
  // Whole seconds rounded down, so that the nanoseconds are never negative (times before 1970).
  std::int64_t seconds = stamp / 1000000000LL;
  std::int64_t nanoseconds = stamp % 1000000000LL;
  if (nanoseconds < 0) {
    nanoseconds += 1000000000LL;
    --seconds;
  }
  const struct timespec when = {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)};
  const struct timespec times[2] = {when, when};
  if (posix_calls.utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    return Fail(error, "cannot set the time of", path, errno);
  }
  return true;
}

}  // namespace quillmend

// The POSIX backends' replaceable system-call table (see platform/fault_injection.h). Backends
// that write files or talk over sockets call through `posix_calls` instead of calling the
// functions directly; the table normally holds the functions themselves. Internal to
// src/platform/posix.
#pragma once

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillmend {

struct PosixCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*write)(int fd, const void* data, size_t size);
  int (*fsync)(int fd);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*futimens)(int fd, const struct timespec times[2]);
  int (*utimensat)(int folder_fd, const char* path, const struct timespec times[2], int flags);
  int (*connect)(int fd, const struct sockaddr* address, socklen_t length);
  ssize_t (*send)(int fd, const void* data, size_t size, int flags);
  ssize_t (*recv)(int fd, void* buffer, size_t size, int flags);
};

// The table. A failing checking call sets errno as the real call would and returns -1. It is
// swapped by InstallFaults/RemoveFaults, which tests call while no other thread uses it.
extern PosixCalls posix_calls;

}  // namespace quillmend

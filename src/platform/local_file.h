// Port: writing, renaming, removing and dating local files through the platform's own calls
// (and so through the fault-injection table, fault_injection.h), for code that would otherwise
// write through std::ofstream and std::filesystem.
// Windows: CreateFileW, WriteFile, FlushFileBuffers, MoveFileExW, DeleteFileW, SetFileTime.
// POSIX: open(2), write(2), fsync(2), rename(2), unlink(2), utimensat(2).
// Every failure returns false and, when `error` is given, sets it to the operation, the path and
// the platform's error text ("cannot write C:\Orvel\a.tmp: There is not enough space on the
// disk.").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillmend {

// A file opened for writing. Not copyable; closing (explicitly or at destruction) releases it.
class LocalFileWriter {
 public:
  LocalFileWriter() = default;
  ~LocalFileWriter();  // closes an open file; a close error is then lost (call Close to see it)
  LocalFileWriter(const LocalFileWriter&) = delete;
  LocalFileWriter& operator=(const LocalFileWriter&) = delete;

  // Creates `path`, or empties an existing file, for writing. A file still open is closed
  // first. The folder must exist.
  bool Create(const std::string& path, std::string* error = nullptr);
  // Writes all `size` bytes at the end of what was written so far.
  bool Write(const void* data, std::size_t size, std::string* error = nullptr);
  // Makes what was written durable (on disk, not only in the system's cache).
  bool Flush(std::string* error = nullptr);
  // Closes the file; a write error that the system delays shows up here.
  bool Close(std::string* error = nullptr);

  bool IsOpen() const { return handle_ != kNoHandle; }
  const std::string& path() const { return path_; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
  std::string path_;
};

// Renames `from` to `to`, replacing a file at `to` in one step (the target is at every moment
// the old or the new file).
bool RenameLocalFile(const std::string& from, const std::string& to, std::string* error = nullptr);

// Removes the file at `path`. A path where no file exists counts as removed (true).
bool RemoveLocalFile(const std::string& path, std::string* error = nullptr);

// Sets the last-modified time of the file at `path` to `stamp`, in the resolution and epoch of
// LastModifiedStamp (file_placement.h), so that LastModifiedStamp(path) == stamp afterwards.
bool SetLocalFileTime(const std::string& path, std::int64_t stamp, std::string* error = nullptr);

}  // namespace quillmend

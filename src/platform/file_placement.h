// Port: what placing update files needs from the file system beyond std::filesystem.
// Windows: GetFileAttributesEx, CopyFileEx, FlushFileBuffers, MoveFileEx (write-through).
// POSIX: stat/futimens with nanoseconds, fsync of the file and of its folder, rename(2).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace quillmend {

// A file operation that failed; what() names the file and the platform's error text.
class FilePlacementError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Last-modified time of a file in the platform's native resolution (100 ns on Windows, 1 ns on
// POSIX); nullopt when nothing readable exists at path. Only equality is meaningful.
std::optional<std::int64_t> LastModifiedStamp(const std::string& path);

// True when path is an existing regular file that a plain directory lookup shows: on Windows
// neither hidden nor system; on POSIX a name that does not start with ".".
bool IsVisibleFile(const std::string& path);

// Replaces target with a copy of source so that target is, at every moment, either the old file
// or the complete new one: the bytes go to a temporary file beside target, are flushed to disk,
// get source's modification time (on POSIX an existing target's permission bits, else
// source's with execute added wherever reading is allowed), and the temporary file is renamed over target (and the
// folder flushed where the platform needs it). A stale temporary file of an interrupted earlier
// placement is overwritten. On failure the temporary file is removed, target is untouched, and
// FilePlacementError is thrown (source unreadable, disk full, target in use or read-only, ...).
void ReplaceFileAtomically(const std::string& source, const std::string& target);

// The name of the temporary file ReplaceFileAtomically uses for target (same folder).
std::string PlacementTempPath(const std::string& target);

}  // namespace quillmend

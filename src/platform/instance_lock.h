// Port: single instance of the agent per program folder.
// Windows: a named mutex. POSIX: an exclusive lock on a lock file in the program folder,
// released by the OS when the holder dies.
#pragma once

#include <memory>
#include <string>

namespace quillmend {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
};

// Tries to become the one running instance for program_folder. Returns the held lock, or
// nullptr when another instance holds it. When the lock cannot be set up at all (unwritable
// folder), returns a lock that holds nothing: the agent then runs as the first instance.
std::unique_ptr<InstanceLock> TryAcquireInstanceLock(const std::string& program_folder);

}  // namespace quillmend

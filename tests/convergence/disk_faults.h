// Disks that fill up and targets that turn read-only, made with real mounts: each workstation
// lives on its own size-limited tmpfs, a ballast file fills it, and a read-only bind mount
// covers a folder. The suite runs in a private mount namespace, so nothing it mounts is seen
// by the rest of the machine or outlives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmend::convergence {

// Moves this process into a private mount namespace (it must still have one thread). Returns
// false with the reason in why when that is not possible (not root, no namespaces); the suite
// then runs without disk faults.
bool EnterPrivateMountNamespace(std::string& why);

// A tmpfs of size_bytes mounted at folder (created when missing) for the object's life.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, std::uint64_t size_bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  const std::string& folder() const { return folder_; }
  // The ballast file's path: outside every folder the agent may change.
  std::string BallastPath() const { return folder_ + "/.ballast"; }
  // Fills the disk until only leave_bytes are free (0: full). Throws on failure.
  void Fill(std::uint64_t leave_bytes);
  // Frees what Fill took.
  void Empty();

 private:
  std::string folder_;
  bool mounted_ = false;
};

// folder covered by a read-only view of itself for the object's life (EROFS for every write).
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& folder);
  ~ReadOnlyFolder();
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

  // Lifts the cover early; idempotent.
  void Lift();

 private:
  std::string folder_;
  bool mounted_ = false;
};

}  // namespace quillmend::convergence

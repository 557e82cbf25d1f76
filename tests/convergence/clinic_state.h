// What a clinic of two workstations records and holds, read between agent runs, and the rule
// every run must keep: a version is recorded (Last, the product version, 버전파일, the CRM's
// version rows and support records, the offline workstation's waiting rows) only when every
// file of it, and of the versions before it, is in place or deferred to the pending folder.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "clinic_sandbox.h"
#include "release_set.h"

namespace quillmend::convergence {

// One workstation of the clinic: its sandbox paths, its host name, online or not.
struct Workstation {
  std::string label;  // "A" or "B"
  sandbox::SandboxLayout layout{std::string(".")};
  std::string host;
  bool online = false;
};

struct Violation {
  std::string kind;    // a short name, the same for the same fault
  std::string detail;  // what was found
};

// (path below the seed folder) -> size and modification time, for "nothing else changed".
using FolderSnapshot = std::map<std::string, std::pair<std::uint64_t, std::int64_t>>;

class ClinicChecker {
 public:
  ClinicChecker(std::vector<Release> releases, Workstation a, Workstation b,
                std::string seed_folder, std::string clinic_db);

  // The versions published so far (the catalogue); checks look only at those.
  void SetPublished(size_t count) { published_ = count; }

  // The seed folder's files outside the folders the running workstation may change.
  FolderSnapshot Snapshot(const Workstation& running) const;
  // After any run: the rule above on both workstations, the share B copies from, duplicates,
  // and what changed outside the running workstation's folders since before.
  std::vector<Violation> AfterRun(const Workstation& ran, const FolderSnapshot& before);
  // After the clean passes: both workstations on the latest version, byte for byte, and the
  // records complete, without duplicates, and agreeing with the disk.
  std::vector<Violation> AtConvergence();
  // Files in the program and system folders (staging and pending folders aside) that are
  // neither a version's file nor one of the agent's and the product's own.
  std::vector<std::string> StrayFiles() const;
  // A text that changes whenever a run changed anything that matters.
  std::string Fingerprint() const;

 private:
  struct Records;
  Records Read() const;
  bool Whole(const Workstation& w, const std::string& version, bool allow_pending,
             std::string& why) const;
  bool ShareWhole(const std::string& version, std::string& why) const;
  void CheckRecorded(const Workstation& w, const std::string& version, const std::string& where,
                     std::vector<Violation>& out) const;
  void Duplicates(const Records& r, std::vector<Violation>& out) const;
  // The 버전파일 rows of a version's files (upper case), and those of them r lacks.
  std::set<std::string> VersionFileRows(const std::string& version) const;
  std::vector<std::string> MissingVersionFileRows(const Records& r, const std::string& version) const;
  std::vector<Release> Published() const;
  std::string PlacedFile(const Workstation& w, const ReleaseFile& f) const;
  std::string PendingFile(const Workstation& w, const ReleaseFile& f) const;
  std::string Describe(const std::string& path, const std::string& key) const;
  bool DigestOf(const std::string& path, std::uint64_t& digest) const;

  std::vector<Release> releases_;
  Workstation a_;
  Workstation b_;
  std::string seed_folder_;
  std::string clinic_db_;
  size_t published_ = 0;
  struct CachedDigest {
    std::int64_t mtime = 0;
    std::int64_t ctime = 0;
    std::uint64_t size = 0;
    std::uint64_t inode = 0;
    std::uint64_t digest = 0;
  };
  mutable std::map<std::string, CachedDigest> digests_;
};

// The file name of a path (after the last "/" or "\").
std::string BaseName(const std::string& path);

}  // namespace quillmend::convergence

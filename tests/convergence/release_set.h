// The three versions the convergence suite publishes over an installed 7.5.12: program and
// system files, CAB archives and plain files, and (when asked) one program file larger than
// 20 MiB. Built once per suite run into a folder that every seed's FTP server serves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmend::convergence {

inline constexpr const char* kBaseVersion = "7.5.12";

// One file of a version: where it lives below the version folder ("program",
// "program/Reports", "system"), its name once placed, whether it is served as <name>.cab, and a
// digest of its bytes.
struct ReleaseFile {
  std::string subfolder;
  std::string name;
  bool cab = false;
  bool big = false;
  std::uint64_t digest = 0;
  std::uint64_t size = 0;

  bool system() const { return subfolder.rfind("system", 0) == 0; }
  // The path below the program folder (program files) or the system folder (system files).
  std::string PlacedPath() const;
  // The name the catalogue and the FTP server know: name or name + ".cab".
  std::string ServedName() const { return cab ? name + ".cab" : name; }
};

struct Release {
  std::string version;
  std::vector<ReleaseFile> files;
};

class ReleaseSet {
 public:
  // Writes the versions' files below ftp_root/<customer folder>/<version>/ (sources beside it in
  // work_folder/sources), once; big_size is the size of the big file (more than 20 MiB unless a
  // test asks for less). Throws std::runtime_error when a step fails.
  ReleaseSet(const std::string& work_folder, const std::string& ftp_root,
             std::size_t big_size = 21 * 1024 * 1024 + 12345);

  const std::string& ftp_root() const { return ftp_root_; }
  // Where the bytes of a version's file lie (its source, before any archive).
  std::string SourcePath(const std::string& version, const ReleaseFile& file) const;
  // The versions, oldest first; with_big false leaves the big file out of the catalogue.
  std::vector<Release> Releases(bool with_big) const;

 private:
  std::string ftp_root_;
  std::string sources_;
  std::vector<Release> releases_;
};

// Versions compared part by part as whole numbers: negative, zero or positive.
int CompareVersions(const std::string& a, const std::string& b);

// A 64-bit digest of bytes (FNV-1a), and of a file's bytes (nullopt-like 0 with ok false when
// it cannot be read).
std::uint64_t Digest(const std::string& bytes);
bool FileDigest(const std::string& path, std::uint64_t& digest);

}  // namespace quillmend::convergence

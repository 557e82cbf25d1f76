#include "release_set.h"

#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "clinic_sandbox.h"
#include "base/text.h"
#include "support/program_bytes.h"
#include "support/temp_folder.h"

namespace quillmend::convergence {
namespace {

namespace fs = std::filesystem;
using testing::JoinedPath;

struct Planned {
  std::string version;
  std::string subfolder;
  std::string name;
  bool cab;
  bool big;
  std::size_t size;
};

// What each version brings: files that change, files that are new, a companion program.
const std::vector<Planned>& Plan() {
  static const std::vector<Planned> plan = {
      {"7.5.13", "program", "Velmont.exe", true, false, 300 * 1024},
      {"7.5.13", "program/Reports", "monthly.rpt", false, false, 2 * 1024},
      {"7.5.13", "system", "orvelgrid.ocx", true, false, 200 * 1024},
      {"7.5.13", "program", "OrvelData.dat", true, true, 0},
      {"7.5.14", "program", "Velmont.exe", true, false, 310 * 1024},
      {"7.5.14", "program", "Tandrel.exe", true, false, 150 * 1024},
      {"7.5.14", "program/Reports", "monthly.rpt", false, false, 3 * 1024},
      {"7.5.14", "system", "orvelchart.dll", false, false, 250 * 1024},
      {"7.6.0", "program", "Velmont.exe", true, false, 320 * 1024},
      {"7.6.0", "program", "OrvelData.dat", true, true, 4096},  // the big size and more
      {"7.6.0", "system", "orvelgrid.ocx", true, false, 210 * 1024},
      {"7.6.0", "program", "updateInfo7.6.0.ini", false, false, 600},
  };
  return plan;
}

// Builds of one version share a day; versions lie days apart, as a vendor's builds do.
void SetBuildTime(const std::string& path, int version_index) {
  const time_t day = 1767225600 + static_cast<time_t>(version_index) * 7 * 86400;  // 2026-01-01
  utimbuf times{day, day};
  if (utime(path.c_str(), &times) != 0) throw std::runtime_error("cannot date " + path);
}

std::string Bytes(const Planned& file, unsigned seed) {
  if (file.name.size() > 4 && (file.name.substr(file.name.size() - 4) == ".rpt" ||
                               file.name.substr(file.name.size() - 4) == ".ini")) {
    std::string text = "[" + file.version + "]\r\n";
    while (text.size() < file.size) text += "line of " + file.name + " for " + file.version + "\r\n";
    return text.substr(0, file.size);
  }
  return testing::ProgramLikeBytes(file.size, seed);
}

}  // namespace

std::string ReleaseFile::PlacedPath() const {
  const std::string below = system() ? subfolder.substr(6) : subfolder.substr(7);
  return below.empty() ? name : JoinedPath(below.substr(1), name);
}

ReleaseSet::ReleaseSet(const std::string& work_folder, const std::string& ftp_root,
                       std::size_t big_size)
    : ftp_root_(ftp_root), sources_(JoinedPath(work_folder, "sources")) {
  unsigned seed = 1;
  int version_index = 0;
  std::string last_version;
  for (Planned planned : Plan()) {
    if (planned.big) planned.size += big_size;
    if (planned.version != last_version) {
      if (!last_version.empty()) ++version_index;
      last_version = planned.version;
      releases_.push_back({planned.version, {}});
    }
    const std::string bytes = Bytes(planned, seed++);
    const std::string source = JoinedPath(JoinedPath(sources_, planned.version),
                                          JoinedPath(planned.subfolder, planned.name));
    sandbox::WriteBytes(source, bytes);
    SetBuildTime(source, version_index);
    const std::string folder = JoinedPath(
        JoinedPath(JoinedPath(ftp_root, sandbox::kFtpFolder), planned.version), planned.subfolder);
    fs::create_directories(folder);
    if (planned.cab) {
      sandbox::MakeCab(JoinedPath(folder, planned.name + ".cab"), source);
    } else {
      fs::copy_file(source, JoinedPath(folder, planned.name), fs::copy_options::overwrite_existing);
    }
    ReleaseFile file{planned.subfolder, planned.name, planned.cab, planned.big, Digest(bytes),
                     bytes.size()};
    releases_.back().files.push_back(file);
  }
}

std::string ReleaseSet::SourcePath(const std::string& version, const ReleaseFile& file) const {
  return JoinedPath(JoinedPath(sources_, version), JoinedPath(file.subfolder, file.name));
}

std::vector<Release> ReleaseSet::Releases(bool with_big) const {
  std::vector<Release> releases = releases_;
  if (with_big) return releases;
  for (Release& release : releases) {
    std::erase_if(release.files, [](const ReleaseFile& f) { return f.big; });
  }
  return releases;
}

int CompareVersions(const std::string& a, const std::string& b) {
  const std::vector<std::string> x = SplitText(a, ".");
  const std::vector<std::string> y = SplitText(b, ".");
  for (size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
    const std::string p = i < x.size() ? x[i] : "0";
    const std::string q = i < y.size() ? y[i] : "0";
    const long long m = std::atoll(p.c_str());
    const long long n = std::atoll(q.c_str());
    if (m != n) return m < n ? -1 : 1;
    if (p != q) return p < q ? -1 : 1;
  }
  return 0;
}

std::uint64_t Digest(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

bool FileDigest(const std::string& path, std::uint64_t& digest) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::uint64_t h = 1469598103934665603ull;
  unsigned char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      h ^= buffer[i];
      h *= 1099511628211ull;
    }
  }
  const bool ok = !std::ferror(f);
  std::fclose(f);
  digest = h;
  return ok;
}

}  // namespace quillmend::convergence

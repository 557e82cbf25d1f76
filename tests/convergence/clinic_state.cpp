#include "clinic_state.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "offline_workstation.h"
#include "platform/file_names.h"
#include "startup/settings.h"
#include "base/text.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"

namespace quillmend::convergence {
namespace {

namespace fs = std::filesystem;
using testing::JoinedPath;

std::vector<std::string> Query(const std::string& db, const std::string& sql) {
  try {
    return testing::QuerySqlite(db, sql);
  } catch (const std::exception&) {
    return {};  // a table the agent has not made yet
  }
}

std::vector<std::string> Columns(const std::string& row) { return SplitText(row, "|"); }

bool Baseline(const std::string& version) {
  return TrimBlanks(version).empty() || CompareVersions(version, kBaseVersion) <= 0;
}

std::string Key(const ReleaseFile& f) { return (f.system() ? "system/" : "program/") + f.PlacedPath(); }

// "Ver 7.5.13 업데이트 완료" (filed after an installed version) and "Ver 7.5.13 업데이트완료"
// (filed after the waiting offline rows were sent).
bool SupportVersion(const std::string& text, std::string& version, bool& for_waiting_rows) {
  if (text.rfind("Ver ", 0) != 0) return false;
  const size_t blank = text.find(' ', 4);
  if (blank == std::string::npos) return false;
  version = text.substr(4, blank - 4);
  const std::string rest = text.substr(blank + 1);
  if (rest == "업데이트 완료") {
    for_waiting_rows = false;
  } else if (rest == "업데이트완료") {
    for_waiting_rows = true;
  } else {
    return false;
  }
  return true;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::string BaseName(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

struct ClinicChecker::Records {
  std::string last_a, last_b, product;
  std::vector<std::pair<std::string, std::string>> version_files;  // 버전, 파일
  struct Row {
    std::string version, host, program, state, sent;
  };
  std::vector<Row> waiting;
  std::vector<Row> crm;
  std::vector<std::string> support;
};

ClinicChecker::ClinicChecker(std::vector<Release> releases, Workstation a, Workstation b,
                             std::string seed_folder, std::string clinic_db)
    : releases_(std::move(releases)),
      a_(std::move(a)),
      b_(std::move(b)),
      seed_folder_(std::move(seed_folder)),
      clinic_db_(std::move(clinic_db)),
      published_(releases_.size()) {}

std::vector<Release> ClinicChecker::Published() const {
  return {releases_.begin(), releases_.begin() + static_cast<long>(published_)};
}

ClinicChecker::Records ClinicChecker::Read() const {
  Records r;
  r.last_a = ReadIniValue(a_.layout.settings_file, "Version", "Last", "1.0");
  r.last_b = ReadIniValue(b_.layout.settings_file, "Version", "Last", "1.0");
  const auto product = Query(clinic_db_,
                             "SELECT 문자내용 FROM 시스템환경일자별 WHERE 기타내용 = 'syssVersionno' "
                             "ORDER BY 날짜내용 DESC, rowid DESC LIMIT 1");
  r.product = product.empty() ? "" : product.front();
  for (const std::string& row : Query(clinic_db_, "SELECT 버전, 파일 FROM 버전파일")) {
    const auto c = Columns(row);
    if (c.size() >= 2) r.version_files.push_back({c[0], c[1]});
  }
  for (const std::string& row :
       Query(clinic_db_, "SELECT 버전, 이름, 프로그램명, 상태, 전송여부 FROM 버전파일개별")) {
    const auto c = Columns(row);
    if (c.size() >= 5) r.waiting.push_back({c[0], c[1], c[2], c[3], c[4]});
  }
  for (const std::string& row :
       Query(a_.layout.crm_db, "SELECT 버전, 이름, 프로그램명, 상태 FROM 오르벨거래처버전")) {
    const auto c = Columns(row);
    if (c.size() >= 4) r.crm.push_back({c[0], c[1], c[2], c[3], ""});
  }
  r.support = Query(a_.layout.crm_db, "SELECT 처리내용 FROM 고객지원기록");
  return r;
}

bool ClinicChecker::DigestOf(const std::string& path, std::uint64_t& digest) const {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  CachedDigest& c = digests_[path];
  const std::int64_t mtime = st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec;
  const std::int64_t ctime = st.st_ctim.tv_sec * 1000000000ll + st.st_ctim.tv_nsec;
  if (c.digest != 0 && c.mtime == mtime && c.ctime == ctime &&
      c.size == static_cast<std::uint64_t>(st.st_size) && c.inode == st.st_ino) {
    digest = c.digest;
    return true;
  }
  if (!FileDigest(path, digest)) return false;
  c = {mtime, ctime, static_cast<std::uint64_t>(st.st_size), st.st_ino, digest};
  return true;
}

std::string ClinicChecker::PlacedFile(const Workstation& w, const ReleaseFile& f) const {
  const std::string base = f.system() ? w.layout.system_folder : w.layout.program_folder;
  return ResolveExistingPath(JoinedPath(base, f.PlacedPath()));
}

std::string ClinicChecker::PendingFile(const Workstation& w, const ReleaseFile& f) const {
  return ResolveExistingPath(
      JoinedPath(JoinedPath(w.layout.program_folder, "newupdate"), JoinedPath(f.subfolder, f.name)));
}

// Which version's bytes the file at path holds, in words.
std::string ClinicChecker::Describe(const std::string& path, const std::string& key) const {
  std::uint64_t digest = 0;
  if (!DigestOf(path, digest)) return "is missing";
  for (const Release& r : releases_) {
    for (const ReleaseFile& f : r.files) {
      if (Key(f) == key && f.digest == digest) return "holds " + r.version + "'s bytes";
    }
  }
  return "holds bytes of no version (" + std::to_string(fs::file_size(path)) + " bytes)";
}

bool ClinicChecker::Whole(const Workstation& w, const std::string& version, bool allow_pending,
                          std::string& why) const {
  const std::vector<Release> published = Published();
  std::map<std::string, std::set<std::uint64_t>> acceptable;
  std::map<std::string, const ReleaseFile*> latest;
  for (const Release& r : published) {
    const bool newer = CompareVersions(r.version, version) > 0;
    for (const ReleaseFile& f : r.files) {
      if (newer) {
        if (latest.count(Key(f))) acceptable[Key(f)].insert(f.digest);
        continue;
      }
      latest[Key(f)] = &f;
    }
  }
  for (const auto& [key, file] : latest) acceptable[key].insert(file->digest);
  for (const auto& [key, file] : latest) {
    std::uint64_t digest = 0;
    const std::string placed = PlacedFile(w, *file);
    if (DigestOf(placed, digest) && acceptable[key].count(digest)) continue;
    const std::string pending = PendingFile(w, *file);
    if (allow_pending && DigestOf(pending, digest) && acceptable[key].count(digest)) continue;
    why = key + " " + Describe(placed, key);
    return false;
  }
  return true;
}

bool ClinicChecker::ShareWhole(const std::string& version, std::string& why) const {
  const std::string share = sandbox::SharePath(a_.layout);
  for (const Release& r : Published()) {
    if (CompareVersions(r.version, version) > 0) break;
    for (const ReleaseFile& f : r.files) {
      // Any later copy of the file will do; an older one or none will not.
      std::set<std::uint64_t> ok;
      bool from_here = false;
      for (const Release& later : Published()) {
        if (later.version == r.version) from_here = true;
        if (!from_here) continue;
        for (const ReleaseFile& g : later.files) {
          if (Key(g) == Key(f)) ok.insert(g.digest);
        }
      }
      const std::string path =
          ResolveExistingPath(JoinedPath(share, JoinedPath(f.subfolder, f.name)));
      std::uint64_t digest = 0;
      if (!DigestOf(path, digest) || !ok.count(digest)) {
        why = "the share's " + f.subfolder + "/" + f.name + " " + Describe(path, Key(f));
        return false;
      }
    }
  }
  return true;
}

void ClinicChecker::CheckRecorded(const Workstation& w, const std::string& version,
                                  const std::string& where, std::vector<Violation>& out) const {
  if (Baseline(version)) return;
  bool known = false;
  for (const Release& r : Published()) known = known || r.version == version;
  if (!known) {
    out.push_back({"unknown version recorded (" + where + ")",
                   w.label + ": " + where + " names " + version});
    return;
  }
  std::string why;
  if (!Whole(w, version, true, why)) {
    out.push_back({"recorded while not whole (" + where + ")",
                   w.label + ": " + where + " names " + version + " but " + why});
  }
}

FolderSnapshot ClinicChecker::Snapshot(const Workstation& running) const {
  FolderSnapshot snapshot;
  const std::vector<std::string> allowed = {running.layout.program_folder,
                                            running.layout.system_folder};
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(seed_folder_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    bool skip = false;
    for (const std::string& folder : allowed) {
      skip = skip || path == folder || StartsWith(path, folder + "/");
    }
    if (skip) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    const std::string name = it->path().filename().string();
    if (StartsWith(path, clinic_db_) || StartsWith(path, a_.layout.crm_db) ||
        name == ".ballast" || name == "odbc.ini") {
      continue;
    }
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) continue;
    const std::int64_t mtime = st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec;
    snapshot[path.substr(seed_folder_.size())] = {
        S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size),
        S_ISDIR(st.st_mode) ? 0 : mtime};
  }
  return snapshot;
}

std::set<std::string> ClinicChecker::VersionFileRows(const std::string& version) const {
  std::set<std::string> rows;
  for (const Release& release : releases_) {
    if (release.version != version) continue;
    for (const ReleaseFile& f : release.files) {
      std::string path = "\\download\\" + f.subfolder + "\\" + f.name;
      std::replace(path.begin(), path.end(), '/', '\\');
      rows.insert(ToUpperAscii(path));
    }
  }
  return rows;
}

std::vector<std::string> ClinicChecker::MissingVersionFileRows(const Records& r,
                                                              const std::string& version) const {
  std::set<std::string> found;
  for (const auto& [v, file] : r.version_files) {
    if (v == version) found.insert(ToUpperAscii(file));
  }
  std::vector<std::string> missing;
  for (const std::string& row : VersionFileRows(version)) {
    if (!found.count(row)) missing.push_back(row);
  }
  return missing;
}

void ClinicChecker::Duplicates(const Records& r, std::vector<Violation>& out) const {
  std::set<std::pair<std::string, std::string>> pairs;
  for (const auto& [version, file] : r.version_files) {
    if (!pairs.insert({version, ToUpperAscii(file)}).second) {
      out.push_back({"duplicate 버전파일 row", version + " " + file});
    }
  }
  std::set<std::string> rows;
  for (const auto& row : r.crm) {
    const std::string key = row.version + "|" + row.host + "|" + ToUpperAscii(row.program) +
                            "|" + row.state;
    if (!rows.insert(key).second) out.push_back({"duplicate CRM version row", key});
  }
  std::set<std::string> support;
  for (const std::string& text : r.support) {
    if (!support.insert(text).second) out.push_back({"duplicate support record", text});
  }
}

std::vector<Violation> ClinicChecker::AfterRun(const Workstation& ran,
                                               const FolderSnapshot& before) {
  std::vector<Violation> out;
  const Records r = Read();
  CheckRecorded(a_, r.last_a, "[Version] Last", out);
  CheckRecorded(b_, r.last_b, "[Version] Last", out);
  CheckRecorded(a_, r.product, "the product version", out);
  Duplicates(r, out);
  std::set<std::string> versions;
  for (const auto& [version, file] : r.version_files) versions.insert(version);
  for (const std::string& v : versions) {
    CheckRecorded(a_, v, "버전파일", out);
    // The offline workstations take these rows for the whole version.
    for (const std::string& missing : MissingVersionFileRows(r, v)) {
      out.push_back({"버전파일 holds part of a version", "버전파일 names " + v + " without " + missing});
    }
    std::string why;
    if (!Baseline(v) && !ShareWhole(v, why)) {
      out.push_back({"버전파일 names a version the share does not hold",
                     "버전파일 names " + v + " but " + why});
    }
  }
  for (const auto& row : r.crm) {
    const bool offline = StartsWith(row.state, "Server");
    CheckRecorded(offline ? b_ : a_, row.version, "a CRM version row", out);
    const std::string expected_host = offline ? b_.host : a_.host;
    if (row.host != expected_host) {
      out.push_back({"CRM version row under another workstation's name",
                     row.version + " (" + row.state + ") sent as " + row.host +
                         ", written by " + expected_host});
    }
  }
  for (const auto& row : r.waiting) CheckRecorded(b_, row.version, "a waiting row", out);
  for (const std::string& text : r.support) {
    std::string version;
    bool waiting = false;
    if (!SupportVersion(text, version, waiting)) {
      out.push_back({"support record of an unknown form", text});
      continue;
    }
    CheckRecorded(waiting ? b_ : a_, version, "a support record", out);
  }
  const FolderSnapshot after = Snapshot(ran);
  for (const auto& [path, entry] : after) {
    const auto found = before.find(path);
    if (found == before.end()) {
      out.push_back({"a file outside the program, system and pending folders changed",
                     ran.label + "'s run made " + path});
    } else if (found->second != entry) {
      out.push_back({"a file outside the program, system and pending folders changed",
                     ran.label + "'s run changed " + path});
    }
  }
  for (const auto& [path, entry] : before) {
    if (!after.count(path)) {
      out.push_back({"a file outside the program, system and pending folders changed",
                     ran.label + "'s run removed " + path});
    }
  }
  return out;
}

std::vector<Violation> ClinicChecker::AtConvergence() {
  std::vector<Violation> out;
  const Records r = Read();
  const std::vector<Release> published = Published();
  const std::string latest = published.back().version;
  Duplicates(r, out);
  for (const auto& [w, last] : {std::pair{&a_, r.last_a}, std::pair{&b_, r.last_b}}) {
    if (last != latest) {
      out.push_back({"not converged: [Version] Last", w->label + " is at " + last});
    }
    std::string why;
    if (!Whole(*w, latest, false, why)) {
      out.push_back({"not converged: a file is not the latest version's", w->label + ": " + why});
    }
    const std::string pending = ResolveExistingPath(JoinedPath(w->layout.program_folder, "newupdate"));
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(pending, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_regular_file()) {
        out.push_back({"not converged: a file left in the pending folder",
                       w->label + ": " + it->path().string()});
      }
    }
  }
  if (r.product != latest) {
    out.push_back({"not converged: the product version", "it is " + r.product});
  }
  for (const Release& release : published) {
    for (const std::string& path : MissingVersionFileRows(r, release.version)) {
      out.push_back({"버전파일 row missing", release.version + " " + path});
    }
    const std::set<std::string> expected = VersionFileRows(release.version);
    for (const auto& [version, file] : r.version_files) {
      if (version == release.version && !expected.count(ToUpperAscii(file))) {
        out.push_back({"버전파일 row for a file the version does not hold", version + " " + file});
      }
    }
    for (const ReleaseFile& f : release.files) {
      // A file that waited in the pending folder is reported when it is applied, under the
      // version installed by then; one that a later version's file replaced while it waited was
      // never in place, and that later version's row stands for it.
      int rows = 0;
      for (const auto& row : r.crm) {
        if (ToUpperAscii(row.program) != ToUpperAscii(f.name)) continue;
        rows += StartsWith(row.state, "Internet") &&
                CompareVersions(row.version, release.version) >= 0;
      }
      if (rows == 0) {
        out.push_back({"CRM version row missing", "A " + release.version + " " + f.name});
      }
    }
    int online_records = 0;
    int waiting_records = 0;
    for (const std::string& text : r.support) {
      std::string version;
      bool waiting = false;
      if (!SupportVersion(text, version, waiting) || version != release.version) continue;
      (waiting ? waiting_records : online_records)++;
    }
    if (online_records == 0) out.push_back({"support record missing", "A " + release.version});
    bool offline_rows = false;
    for (const auto& row : r.crm) {
      offline_rows = offline_rows || (row.version == release.version && StartsWith(row.state, "Server"));
    }
    if (offline_rows && waiting_records == 0) {
      out.push_back({"support record missing", "B " + release.version});
    }
  }
  for (const auto& row : r.waiting) {
    if (row.sent != "Y") {
      out.push_back({"waiting row never sent",
                     row.version + " " + row.program + " (" + row.state + ")"});
    }
  }
  return out;
}

std::vector<std::string> ClinicChecker::StrayFiles() const {
  static const std::set<std::string> own = {"ORVEL_H.INI", "QUILLMEND.INI", "CRM", "CRM-JOURNAL",
                                            "SERVER.INI", "QUILLMEND.LOCK"};
  std::set<std::string> known;
  for (const Release& r : releases_) {
    for (const ReleaseFile& f : r.files) known.insert(ToUpperAscii(Key(f)));
  }
  std::vector<std::string> stray;
  for (const Workstation* w : {&a_, &b_}) {
    for (const auto& [root, prefix] : {std::pair{w->layout.program_folder, std::string("program/")},
                                       std::pair{w->layout.system_folder, std::string("system/")}}) {
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(root, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string relative = it->path().lexically_relative(root).string();
        const std::string upper = ToUpperAscii(relative);
        if (it->is_directory() && it.depth() == 0 && (upper == "DOWNLOAD" || upper == "NEWUPDATE")) {
          it.disable_recursion_pending();
          continue;
        }
        if (!it->is_regular_file() && !it->is_symlink()) continue;
        if (own.count(upper) || known.count(ToUpperAscii(prefix + relative))) continue;
        stray.push_back(w->label + ": " + prefix + relative);
      }
    }
  }
  return stray;
}

std::string ClinicChecker::Fingerprint() const {
  std::ostringstream text;
  const Records r = Read();
  text << r.last_a << "|" << r.last_b << "|" << r.product << "|" << r.version_files.size() << "|"
       << r.waiting.size() << "|" << r.crm.size() << "|" << r.support.size() << "\n";
  for (const auto& row : r.waiting) text << row.sent;
  text << "\n";
  std::vector<std::string> files;
  for (const Workstation* w : {&a_, &b_}) {
    for (const std::string& folder : {w->layout.program_folder, w->layout.system_folder}) {
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(folder, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const std::string name = ToUpperAscii(it->path().filename().string());
        if (name == "CRM" || name == "CRM-JOURNAL") continue;
        std::uint64_t digest = 0;
        DigestOf(it->path().string(), digest);
        files.push_back(it->path().string() + " " + std::to_string(digest));
      }
    }
  }
  std::sort(files.begin(), files.end());
  for (const std::string& file : files) text << file << "\n";
  return text.str();
}

}  // namespace quillmend::convergence

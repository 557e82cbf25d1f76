#include "update/share_first.h"

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/sha256.h"
#include "base/text.h"
#include "db/db_access.h"
#include "db/version_order.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "platform/local_file.h"
#include "platform/system_info.h"
#include "startup/diagnostics.h"
#include "startup/program_paths.h"
#include "startup/settings.h"

namespace quillmend {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCopyBlock = 1 << 20;

bool HasParentStep(const std::string& path) {
  for (const std::string& part : SplitText(path, "\\")) {
    if (TrimWhite(part) == "..") return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> ReachableShare(const SharedState& state) {
  std::string share = GetServerPath(state);
  while (!share.empty() && (share.back() == '\\' || share.back() == '/')) share.pop_back();
  if (share.empty()) return std::nullopt;
  if (!EndsWithNoCase(ReplaceAll(share, "\\", "/"), "/download")) {
    LogLine("share: \"" + share + "\" is not a download folder; not used");
    return std::nullopt;
  }
  std::error_code ec;
  const std::string resolved = ResolveExistingPath(share);
  if (!fs::is_directory(FsPath(resolved), ec)) {
    LogLine("share: " + share + " cannot be reached; not used");
    return std::nullopt;
  }
  return resolved;
}

std::optional<std::string> ShareablePath(const std::string& recorded) {
  std::string path = ReplaceAll(TrimWhite(recorded), "/", "\\");
  if (EndsWithNoCase(path, ".CAB")) path = RemoveEveryNoCase(path, ".cab");
  if (path.empty() || HasParentStep(RemoveEveryNoCase(path, "\\download")) ||
      !StartsWithNoCase(path, "\\download\\")) {
    return std::nullopt;
  }
  return path;
}

std::string PathOnShare(const std::string& share, const std::string& recorded) {
  return ResolveExistingPath(share + NativePath(RemoveEveryNoCase(recorded, "\\download")));
}

std::vector<std::string> RecordedFilesOf(SharedState& state, const std::string& version) {
  std::vector<std::string> files;
  Recordset rs;
  if (OpenRecordset(state, rs, "select distinct 파일 from 버전파일 where 버전 = '" +
                                   SqlQuoted(version) + "' and 파일 <> '' ")) {
    for (; !rs.eof(); rs.MoveNext()) {
      const auto path = ShareablePath(rs.Text(0));
      if (!path) {
        // A row the share cannot serve makes the version one that is not taken from it.
        LogLine("share: version " + version + " records the path " + rs.Text(0) +
                ", which the share cannot serve");
        return {};
      }
      bool seen = false;
      for (const std::string& file : files) seen = seen || EqualsNoCase(file, *path);
      if (!seen) files.push_back(*path);
    }
  }
  rs.Close();
  return files;
}

bool ClinicRecordsNewerVersion(SharedState& state, const std::string& version) {
  Recordset rs;
  bool newer = false;
  if (OpenRecordset(state, rs, "select distinct 버전 from 버전파일")) {
    for (; !rs.eof() && !newer; rs.MoveNext()) newer = IsNewerVersion(rs.Text(0), version);
  }
  rs.Close();
  return newer;
}

std::string ShareTempTag(const SharedState& state) {
  static std::atomic<unsigned> counter{0};
  std::string host;
  for (char c : state.g_HostName) {
    host += (std::isalnum(static_cast<unsigned char>(c)) != 0) ? c : '_';
  }
  return host + "-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(++counter) +
         ".qm-part";
}

bool CopyVerified(const std::string& source, const std::string& target, std::int64_t expected_size,
                  const std::string& expected_sha256, const std::string& temp_tag,
                  const std::function<void(std::size_t)>& yield, std::string* error, std::string* sha256) {
  auto fail = [&](const std::string& text) {
    if (error != nullptr && error->empty()) *error = text;
    return false;
  };
  const std::optional<std::int64_t> stamp = LastModifiedStamp(source);
  std::ifstream in(FsPath(source), std::ios::binary);
  if (!stamp || !in) return fail("cannot read " + source);
  const size_t cut = target.find_last_of("\\/");
  const std::string temp = target.substr(0, cut + 1) + "." + target.substr(cut + 1) + "." + temp_tag;
  LocalFileWriter writer;
  auto fail_and_clean = [&](const std::string& text) {
    writer.Close();
    RemoveLocalFile(temp);
    return fail(text);
  };
  if (!writer.Create(temp, error)) return fail_and_clean("cannot create " + temp);
  Sha256 hash;
  std::vector<char> block(kCopyBlock);
  std::int64_t copied = 0;
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    hash.Update(block.data(), static_cast<std::size_t>(got));
    if (!writer.Write(block.data(), static_cast<std::size_t>(got), error)) {
      return fail_and_clean("cannot write " + temp);
    }
    copied += got;
    // A file that grows past its expected size is not the expected file: no need to read on.
    if (expected_size >= 0 && copied > expected_size) break;
    if (yield) yield(static_cast<std::size_t>(got));
  }
  if (in.bad()) return fail_and_clean("cannot read " + source + " to its end");
  const std::string digest = hash.HexDigest();
  if (expected_size >= 0 && copied != expected_size) {
    return fail_and_clean(source + " holds " + std::to_string(copied) + " bytes, not " +
                          std::to_string(expected_size));
  }
  if (!expected_sha256.empty() && !EqualsNoCase(digest, expected_sha256)) {
    return fail_and_clean(source + " is not the file recorded for it (its digest differs)");
  }
  if (!writer.Flush(error) || !writer.Close(error) || !SetLocalFileTime(temp, *stamp, error) ||
      !RenameLocalFile(temp, target, error)) {
    return fail_and_clean("cannot write " + target);
  }
  if (sha256 != nullptr) *sha256 = digest;
  return true;
}

}  // namespace quillmend

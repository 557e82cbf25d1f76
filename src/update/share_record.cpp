#include "update/share_record.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "platform/file_names.h"
#include "platform/local_file.h"
#include "startup/diagnostics.h"
#include "startup/program_paths.h"

namespace quillmend {
namespace {

constexpr const char* kHeader = "quillmend share record 1";

bool IsHexDigest(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<ShareRecordFile> ParseFileLine(const std::string& rest) {
  std::istringstream in(rest);
  ShareRecordFile file;
  std::string size;
  if (!(in >> size >> file.sha256)) return std::nullopt;
  if (size.empty() || size.find_first_not_of("0123456789") != std::string::npos ||
      size.size() > 18 || !IsHexDigest(file.sha256)) {
    return std::nullopt;
  }
  file.size = std::stoll(size);
  std::getline(in, file.recorded);
  file.recorded = TrimWhite(file.recorded);
  if (file.recorded.empty()) return std::nullopt;
  return file;
}

}  // namespace

bool IsShareableVersion(const std::string& version) {
  if (version.empty() || version.size() > 64 || version == "." || version == "..") return false;
  for (char c : version) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == '.' || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string ShareRecordFolder(const std::string& share) {
  return ResolveExistingPath(share + PathSeparator() + "versions");
}

std::string ShareRecordPath(const std::string& share, const std::string& version) {
  return ResolveExistingPath(ShareRecordFolder(share) + PathSeparator() + version + ".whole");
}

std::optional<ShareRecord> ReadShareRecord(const std::string& share, const std::string& version) {
  const std::string path = ShareRecordPath(share, version);
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  ShareRecord record;
  std::string line;
  bool header = false;
  bool ended = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!header) {
      if (line != kHeader) break;
      header = true;
      continue;
    }
    const size_t blank = line.find(' ');
    const std::string word = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (word == "version") {
      record.version = rest;
    } else if (word == "host") {
      record.host = rest;
    } else if (word == "end") {
      ended = rest == std::to_string(record.files.size());
      break;
    } else if (word == "file") {
      auto file = ParseFileLine(rest);
      if (!file) {
        LogLine("share: the record " + path + " has a malformed line: " + line);
        return std::nullopt;
      }
      record.files.push_back(std::move(*file));
    }
  }
  if (!header || !ended || record.version != version || record.files.empty()) {
    LogLine("share: the record " + path + " is malformed or names another version");
    return std::nullopt;
  }
  return record;
}

bool WriteShareRecord(const std::string& share, const ShareRecord& record,
                      const std::string& temp_tag, std::string* error) {
  std::error_code ec;
  const std::string folder = ShareRecordFolder(share);
  // One level only: a share that has gone is not made again here.
  std::filesystem::create_directory(FsPath(folder), ec);
  if (ec || !std::filesystem::is_directory(FsPath(folder), ec)) {
    if (error != nullptr) *error = "cannot create " + folder + ": " + ec.message();
    return false;
  }
  std::string text = std::string(kHeader) + "\n";
  text += "version " + record.version + "\n";
  text += "host " + record.host + "\n";
  for (const ShareRecordFile& file : record.files) {
    text += "file " + std::to_string(file.size) + " " + file.sha256 + " " + file.recorded + "\n";
  }
  text += "end " + std::to_string(record.files.size()) + "\n";
  const std::string target = ShareRecordPath(share, record.version);
  const std::string temp = folder + PathSeparator() + "." + record.version + ".whole." + temp_tag;
  LocalFileWriter writer;
  const bool written = writer.Create(temp, error) && writer.Write(text.data(), text.size(), error) &&
                       writer.Flush(error) && writer.Close(error);
  if (!written || !RenameLocalFile(temp, target, error)) {
    writer.Close();
    RemoveLocalFile(temp);
    return false;
  }
  return true;
}

bool RemoveShareRecord(const std::string& share, const std::string& version) {
  return RemoveLocalFile(ShareRecordPath(share, version));
}

std::optional<std::map<std::string, std::string>> VendorManifestDigests(SharedState&,
                                                                        const std::string&) {
  return std::nullopt;
}

}  // namespace quillmend

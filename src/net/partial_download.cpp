// The data of an unfinished download, kept beside its target.
#include "net/partial_download.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/file_names.h"
#include "platform/local_file.h"

namespace quillmend {
namespace {

std::string RecordText(std::uint64_t size, std::uint64_t write_time) {
  return "size=" + std::to_string(size) + "\ntime=" + std::to_string(write_time) + "\n";
}

}  // namespace

PartialDownload::PartialDownload(const std::string& target)
    : target_(target), partial_(target + ".qmdl"), record_(target + ".qmdl.id") {}

std::uint64_t PartialDownload::Resumable(std::uint64_t size, std::uint64_t write_time) const {
  if (write_time == 0) return 0;
  std::ifstream record(FsPath(record_), std::ios::binary);
  if (!record) return 0;
  std::stringstream text;
  text << record.rdbuf();
  if (text.str() != RecordText(size, write_time)) return 0;
  std::error_code error;
  const std::uintmax_t have = std::filesystem::file_size(FsPath(partial_), error);
  if (error || have >= size) return 0;
  return have;
}

bool PartialDownload::Begin(std::uint64_t size, std::uint64_t write_time) {
  if (!RemoveLocalFile(record_)) return false;
  LocalFileWriter partial;
  if (!partial.Create(partial_) || !partial.Close()) return false;
  if (write_time == 0) return true;
  const std::string text = RecordText(size, write_time);
  LocalFileWriter record;
  return record.Create(record_) && record.Write(text.data(), text.size()) && record.Close();
}

bool PartialDownload::Keepable() const {
  std::error_code error;
  return std::filesystem::exists(FsPath(record_), error);
}

void PartialDownload::Discard() {
  RemoveLocalFile(partial_);
  RemoveLocalFile(record_);
}

bool PartialDownload::Complete(std::string* error) {
  if (!RenameLocalFile(partial_, target_, error)) return false;
  RemoveLocalFile(record_);
  return true;
}

}  // namespace quillmend

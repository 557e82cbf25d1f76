// The data of an unfinished download, kept beside its target.
#include "net/partial_download.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/file_names.h"

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
  std::error_code ignored;
  std::filesystem::remove(FsPath(record_), ignored);
  {
    std::ofstream partial(FsPath(partial_), std::ios::binary | std::ios::trunc);
    if (!partial) return false;
  }
  if (write_time == 0) return true;
  std::ofstream record(FsPath(record_), std::ios::binary | std::ios::trunc);
  record << RecordText(size, write_time);
  record.close();
  return !record.fail();
}

bool PartialDownload::Keepable() const {
  std::error_code error;
  return std::filesystem::exists(FsPath(record_), error);
}

void PartialDownload::Discard() {
  std::error_code ignored;
  std::filesystem::remove(FsPath(partial_), ignored);
  std::filesystem::remove(FsPath(record_), ignored);
}

bool PartialDownload::Complete() {
  std::error_code error;
  std::filesystem::rename(FsPath(partial_), FsPath(target_), error);
  if (error) {
    errno = error.value();
    return false;
  }
  std::filesystem::remove(FsPath(record_), error);
  return true;
}

}  // namespace quillmend

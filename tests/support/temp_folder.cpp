#include "support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "platform/file_names.h"
#include "platform/system_info.h"
#include "base/text.h"

namespace quillmend::testing {

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  const std::string name = "qmtest-" + std::to_string(CurrentProcessId()) + "-" +
                           std::to_string(stamp) + "-" + std::to_string(counter++);
  std::filesystem::create_directories(base / name);
  path_ = Utf8Path(base / name);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  const std::filesystem::path root = FsPath(path_);
  // Read-only files and folders must not keep the folder alive.
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(root, ec);
}

std::string TempFolder::Sub(const std::string& relative) const {
  std::string tail = ReplaceAll(relative, "\\", PathSeparator());
  tail = ReplaceAll(tail, "/", PathSeparator());
  if (!tail.empty() && tail.rfind(PathSeparator(), 0) != 0) tail = PathSeparator() + tail;
  return path_ + tail;
}

std::string JoinedPath(const std::string& base, const std::string& relative) {
  std::string path = base;
  for (const std::string& piece : SplitText(ReplaceAll(relative, "\\", "/"), "/")) {
    if (!piece.empty()) path += PathSeparator() + piece;
  }
  return path;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  const std::filesystem::path target = FsPath(path);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(FsPath(path), ec);
}

}  // namespace quillmend::testing

#include "startup/folders.h"

#include <filesystem>

#include "platform/file_names.h"
#include "base/text.h"

namespace quillmend {

std::vector<std::string> FolderPathSteps(const std::string& path) {
  const std::string& sep = PathSeparator();
  const std::string unified = ReplaceAll(path, "\\", "/");
  std::string root;
  std::string rest = unified;
  bool from_root = false;
  if (unified.size() >= 2 && unified[1] == ':' && (unified.size() == 2 || unified[2] == '/')) {
    root = unified.substr(0, 2);
    rest = unified.size() > 3 ? unified.substr(3) : std::string();
  } else if (unified.rfind("//", 0) == 0) {
    // \\server\share: the share is the root, whatever stands below it is created.
    const size_t server_end = unified.find('/', 2);
    const size_t share_end =
        server_end == std::string::npos ? std::string::npos : unified.find('/', server_end + 1);
    root = ReplaceAll(unified.substr(0, share_end), "/", sep);
    rest = share_end == std::string::npos ? std::string() : unified.substr(share_end + 1);
  } else {
    from_root = true;
  }
  std::vector<std::string> steps;
  if (from_root) steps.push_back(sep);
  std::string acc = root;
  for (const std::string& part : SplitText(rest, "/")) {
    if (part.empty()) continue;
    acc += sep + part;
    steps.push_back(acc);
  }
  return steps;
}

void EnsureFolderPath(const std::string& path) {
  for (const std::string& folder : FolderPathSteps(path)) {
    const std::filesystem::path fs_folder = FsPath(ResolveExistingPath(folder));
    std::error_code ec;
    if (!std::filesystem::is_directory(fs_folder, ec)) {
      std::filesystem::create_directory(fs_folder);  // throws on failure
    }
  }
}

}  // namespace quillmend

#include "startup/folders.h"

#include <filesystem>

#include "platform/file_names.h"
#include "base/text.h"

namespace quillmend {

void EnsureFolderPath(const std::string& path) {
  std::string drive;
  std::string rest = path;
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) {
    drive = path.substr(0, 2);
    rest = path.substr(3);
  }
  const std::string unified = ReplaceAll(rest, "\\", "/");
  std::string acc;
  for (const std::string& part : SplitText(unified, "/")) {
    if (!part.empty()) acc += PathSeparator() + part;
    const std::string folder = drive + (acc.empty() ? PathSeparator() : acc);
    const std::filesystem::path fs_folder = FsPath(ResolveExistingPath(folder));
    std::error_code ec;
    if (!std::filesystem::is_directory(fs_folder, ec)) {
      std::filesystem::create_directory(fs_folder);  // throws on failure
    }
  }
}

}  // namespace quillmend

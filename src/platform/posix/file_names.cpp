// Case-insensitive resolution of the program's paths on a case-sensitive file system.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/file_names.h"
#include "base/text.h"

namespace quillmend {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Finds an entry of folder whose name equals name without regard to case.
std::string FindEntryNoCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
  if (dir == nullptr) return {};
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (EqualsNoCase(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

const std::string& PathSeparator() {
  static const std::string kSeparator = "/";
  return kSeparator;
}

std::string ResolveExistingPath(const std::string& path) {
  const std::string unified = ReplaceAll(path, "\\", "/");
  if (unified.empty() || Exists(unified)) return unified;
  const std::vector<std::string> parts = SplitText(unified, "/");
  std::string out;
  bool missing = false;  // once a component is missing, the rest is kept as given
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& piece = parts[i];
    std::string candidate = i == 0 ? piece : out + "/" + piece;
    if (!missing && !piece.empty() && piece != "." && piece != ".." && !Exists(candidate)) {
      const std::string parent = i == 0 ? "." : (out.empty() ? "/" : out);
      const std::string match = FindEntryNoCase(parent, piece);
      if (match.empty()) missing = true;
      else candidate = i == 0 ? match : out + "/" + match;
    }
    out = candidate;
  }
  return out;
}

}  // namespace quillmend

// Windows file systems ignore case already: paths are used as given.
#include "platform/file_names.h"

namespace quillmend {

const std::string& PathSeparator() {
  static const std::string kSeparator = "\\";
  return kSeparator;
}

std::string ResolveExistingPath(const std::string& path) { return path; }

}  // namespace quillmend

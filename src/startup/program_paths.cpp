#include "startup/program_paths.h"

#include "platform/file_names.h"
#include "base/text.h"

namespace quillmend {

std::string NativePath(std::string_view windows_style) {
  return ReplaceAll(windows_style, "\\", PathSeparator());
}

std::string InProgramFolder(const SharedState& state, std::string_view relative) {
  std::string path = state.program_folder_;
  const std::string tail = NativePath(relative);
  if (!tail.empty() && tail.rfind(PathSeparator(), 0) != 0) path += PathSeparator();
  path += tail;
  return ResolveExistingPath(path);
}

std::string SettingsFile(const SharedState& state, std::string_view spelling) {
  return InProgramFolder(state, spelling);
}

std::string AgentSettingsFile(const SharedState& state) {
  return InProgramFolder(state, "\\quillmend.ini");
}

}  // namespace quillmend

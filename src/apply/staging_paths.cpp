#include "apply/staging_paths.h"

#include "platform/file_names.h"
#include "base/text.h"

namespace quillmend {
namespace {

std::string Unified(std::string_view path) { return ReplaceAll(path, "\\", "/"); }

std::string StripTrailingSeparators(std::string text) {
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  return text;
}

}  // namespace

std::string NormalizeSeparators(std::string_view path) {
  return ReplaceAll(Unified(path), "/", PathSeparator());
}

std::string FileNameOf(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string FolderOf(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

bool IsContainedRelativePath(std::string_view relative) {
  const std::string unified = Unified(relative);
  if (unified.find(':') != std::string::npos) return false;
  // "//server/share" (a UNC root) starts with an empty piece followed by another empty one.
  if (unified.rfind("//", 0) == 0) return false;
  for (const std::string& piece : SplitText(unified, "/")) {
    if (piece == "." || piece == "..") return false;
  }
  return true;
}

std::optional<StagedTarget> TargetOfStagedFile(const SharedState& state,
                                               std::string_view staged_path) {
  static constexpr std::string_view kProgramMarker = "/download/program/";
  static constexpr std::string_view kSystemMarker = "/download/system/";
  const std::string unified = Unified(staged_path);
  StagedTarget target;
  size_t marker_end = std::string::npos;
  if (const size_t at = FindNoCase(unified, kProgramMarker); at != std::string::npos) {
    target.home = StagedHome::kProgram;
    marker_end = at + kProgramMarker.size() - 1;  // keeps the separator after the marker
  }
  if (const size_t at = FindNoCase(unified, kSystemMarker); at != std::string::npos) {
    target.home = StagedHome::kSystem;
    marker_end = at + kSystemMarker.size() - 1;
  }
  if (marker_end == std::string::npos) return std::nullopt;

  const size_t last = unified.find_last_of('/');
  target.file_name = unified.substr(last + 1);
  if (target.file_name.empty() || target.file_name == "." || target.file_name == "..") {
    return std::nullopt;
  }
  const std::string between = unified.substr(marker_end, last + 1 - marker_end);  // "/" or "/a/b/"
  if (!IsContainedRelativePath(between) || !IsContainedRelativePath(target.file_name)) {
    return std::nullopt;
  }
  const std::string& base =
      target.home == StagedHome::kSystem ? state.g_SystemFolder : state.program_folder_;
  target.folder = StripTrailingSeparators(NormalizeSeparators(base + between));
  return target;
}

bool IsBelowFolder(std::string_view path, std::string_view folder) {
  const std::string p = Unified(path);
  const std::string f = StripTrailingSeparators(Unified(folder));
  if (f.empty() || !StartsWithNoCase(p, f)) return false;
  if (f == "/") return p.size() > 1;
  return p.size() > f.size() && p[f.size()] == '/';
}

std::string DatabaseRelativePath(const SharedState& state, std::string_view path) {
  const std::string p = Unified(path);
  std::string relative = p;
  if (IsBelowFolder(p, state.program_folder_)) {
    relative = p.substr(StripTrailingSeparators(Unified(state.program_folder_)).size());
  }
  return ReplaceAll(relative, "/", "\\");
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined = StripTrailingSeparators(std::string(folder));
  if (joined.empty() || (joined.back() != '/' && joined.back() != '\\')) joined += PathSeparator();
  return joined + std::string(name);
}

}  // namespace quillmend

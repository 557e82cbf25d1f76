// Paths of the staging layout: where a staged file belongs, where it waits when it cannot be
// placed, and how it is named in the clinic database. Paths may arrive with "\" or "/"; the
// results use the platform's separator, except the database form, which is always "\".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "startup/shared_state.h"

namespace quillmend {

enum class StagedHome { kProgram, kSystem };

struct StagedTarget {
  StagedHome home = StagedHome::kProgram;
  // The folder the file goes to (program or system folder plus the staged subfolders), without
  // a trailing separator.
  std::string folder;
  std::string file_name;
};

// Every "\" and "/" replaced by the platform's separator.
std::string NormalizeSeparators(std::string_view path);
// The part after the last separator ("\" or "/").
std::string FileNameOf(std::string_view path);
// The part before the last separator; empty when there is none.
std::string FolderOf(std::string_view path);

// True when relative (pieces separated by "\" or "/", a leading separator allowed as in
// "\program\x.exe") stays inside the folder it is appended to: no "." or ".." piece and no ":"
// (drive letters, streams), so neither "..\x" nor "C:\x" nor "\\server\x" can escape.
bool IsContainedRelativePath(std::string_view relative);

// The target of a staged file from its "\download\program" or "\download\system" marker (found
// without regard to case, on either separator, as a whole folder name; the system marker wins
// when both occur). nullopt when the path has neither marker, when what follows the marker
// would leave the destination folder, or when there is no file name.
std::optional<StagedTarget> TargetOfStagedFile(const SharedState& state,
                                               std::string_view staged_path);

// The path with the program folder removed (compared without regard to case) in the form the
// clinic database keeps, with "\" separators: "\download\program\Velmont.exe". A path outside
// the program folder keeps its full text (separators still "\").
std::string DatabaseRelativePath(const SharedState& state, std::string_view path);

// True when path lies below folder (compared without regard to case, either separator).
bool IsBelowFolder(std::string_view path, std::string_view folder);

// Joins folder and name with one platform separator.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace quillmend

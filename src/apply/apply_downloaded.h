// Applying one downloaded version: expand its CAB archives, place every file, record each file
// of the version once in the clinic database's 버전파일, and replace the companion program.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// ApplyDownloadedFiles: works through the window's lstFile (full local paths, download order).
// Each ".CAB" (any case) is expanded to its path less ".CAB" first; a damaged archive leaves no
// expanded file (a stale one from an earlier pass is removed), so nothing of it is placed.
// Every file goes through PlaceStagedFile and gets one 버전파일 row (버전, 파일 = the path below
// the program folder with "\" separators, 일자 = now) unless that pair is already there.
// Afterwards "\Download\Program\Tandrel.exe" replaces the program folder's "Tandrel.exe" (a
// read-only copy is kept). Each failing step is passed over; never throws.
void ApplyDownloadedFiles(SharedState& state, const std::string& version);

// Expands the archive at path (which ends in ".CAB", any case) to path less those four
// characters, running external tools through RunAndWait where the platform needs them.
// Returns the expanded path, or "" when the archive did not expand (logged).
std::string ExpandArchive(SharedState& state, const std::string& path);

// Replaces the program folder's "Tandrel.exe" with "\Download\Program\Tandrel.exe" when that
// exists; returns whether the companion was replaced.
bool ReplaceCompanionProgram(SharedState& state);

}  // namespace quillmend

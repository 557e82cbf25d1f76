// Applying one downloaded version: expand its CAB archives, place every file, record each file
// of the version once in the clinic database's 버전파일, and replace the companion program.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// ApplyDownloadedFiles: works through the window's lstFile (full local paths, download order)
// and installs the version only as a whole:
//  1. every ".CAB" (any case) is expanded to its path less ".CAB";
//  2. every file is placed (PlaceWithoutRecording): in place, or deferred to the pending folder;
//  3. only then is each file recorded: SendCustomerVersion / AddVersionFileRecord for the
//     placed ones and one 버전파일 row (버전, 파일 = the path below the program folder with "\"
//     separators, 일자 = now) for each placed or deferred one, unless that pair is there. The
//     version's 버전파일 rows are written in one transaction ("begin transaction" ...
//     "commit transaction"): all of them or none, also when the agent is ended meanwhile;
//  4. "\Download\Program\Tandrel.exe" is copied (never moved: the staging folder is the share
//     of the offline workstations) over the program folder's "Tandrel.exe" (a read-only copy is
//     kept).
// Returns true when the version is whole. An archive that does not expand, a file that can
// neither be placed nor deferred, or a window that unloaded meanwhile stops the apply before
// anything is recorded; 버전파일 rows that cannot be written are rolled back and fail the
// version after its other records. The failure is written to the failure log
// ("NotExpanded(...)", "NotPlaced(...)", "NotRecorded(...)"), *failure (when given) says what
// failed, and false is returned. Files already placed stay; the next pass places the version
// again from the start. Never throws.
bool ApplyDownloadedFiles(SharedState& state, const std::string& version,
                          std::string* failure = nullptr);

// How long the apply waits for an external expansion tool before it gives the archive up.
inline constexpr int kExpandTimeLimitMs = 10 * 60 * 1000;

// Expands the archive at path (which ends in ".CAB", any case) to path less those four
// characters, running external tools through RunAndWait (at most time_limit_ms) where the
// platform needs them. The expanded file is replaced only by a complete new expansion; a
// failure leaves an earlier one as it was. Returns the expanded path, or "" when the archive did
// not expand (*error, when given, says why).
std::string ExpandArchive(SharedState& state, const std::string& path, std::string* error = nullptr,
                          int time_limit_ms = kExpandTimeLimitMs);

// Copies "\Download\Program\Tandrel.exe", when it exists, over the program folder's
// "Tandrel.exe" (atomically; skipped when both have the same time and size). Returns whether the
// companion is now the staged one.
bool ReplaceCompanionProgram(SharedState& state);

}  // namespace quillmend

// Placement of staged update files: the program folder or the system folder, chosen by the
// staging layout (download\program\..., download\system\...), with the pending folder
// (newupdate\...) for files that cannot be placed now.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// PlaceStagedFile: moves one staged file to its place and records it under version.
// - No visible file at staged_path: false, nothing else.
// - No target (neither "\download\program" nor "\download\system" in the path, or a path that
//   would leave the program or system folder): written to the failure log and false; nothing
//   is written anywhere.
// - The target is replaced only when it differs from the staged file: another modification time
//   (older or newer alike) or another size. The copy is atomic and keeps the staged file's time
//   (archive times have 2-second steps, so two builds can share one); "quillmend.exe"
//   goes to program folder\Quillmend1.exe instead of over the running program.
// - A copy of the same file still waiting in the pending folder (an earlier version's, deferred
//   by DeferToPending) is first replaced by this file, then removed once it is in place, so the
//   pending apply never puts the older bytes back over it, even after an interruption.
// - OCX and DLL files of the system folder are registered (also when nothing was copied).
// - Records the file with the target's version text: SendCustomerVersion "Internet" when
//   g_Online, else AddVersionFileRecord "Server".
// Any failure from the target folder on (folder cannot be made, target in use or read-only,
// disk full, version unreadable, record failed) hands the file to DeferToPending and returns
// false. Never throws.
bool PlaceStagedFile(SharedState& state, const std::string& version,
                     const std::string& staged_path);

// What became of one staged file when it was placed without being recorded.
enum class PlacementOutcome {
  kPlaced,     // in place (copied, or already current); registered where that applies
  kDeferred,   // could not be placed, copied into the pending folder for the next start
  kNotPlaced,  // could neither be placed nor deferred (logged; g_AllPlaced cleared)
  kAbsent,     // no visible file at the staged path
  kNoTarget,   // the path names no target folder (logged)
};

struct PlacedFile {
  PlacementOutcome outcome = PlacementOutcome::kAbsent;
  std::string staged;       // the staged path as it was found
  std::string target_path;  // where the file is (kPlaced only)
  std::string file_name;
};

// The placement steps of PlaceStagedFile without its recording, for callers that record a
// version only once every file of it is in place or deferred. Never throws.
PlacedFile PlaceWithoutRecording(SharedState& state, const std::string& staged_path);

// The recording step of PlaceStagedFile for a file PlaceWithoutRecording placed: the target's
// version text, then SendCustomerVersion "Internet" (g_Online) or AddVersionFileRecord
// "Server". A failure (version unreadable, record refused) defers the file as PlaceStagedFile
// does and returns false. Never throws.
bool RecordPlacement(SharedState& state, const std::string& version, const PlacedFile& placed);

// DeferToPending: copies the staged file into the pending folder under the same relative path
// (program folder\download\system\sub\x.dll -> program folder\NewUpdate\system\sub\x.dll; a file
// staged on the server share -> program folder\Newupdate\<path below the share>), replacing a
// file of that name. On failure (including a staged path that is below neither the program
// folder's staging folder nor the share) clears g_AllPlaced and returns false. Never throws.
bool DeferToPending(SharedState& state, const std::string& staged_path,
                    const std::string& file_name);

// The registration command line for a file in the system folder:
// "<registration program>" /s "<target>"; empty when the platform has no registration program.
std::string RegistrationCommandLine(const SharedState& state, const std::string& target);

// Starts the registration of target hidden, without waiting; a start failure is only logged.
// Only names ending in OCX or DLL (any case) are registered; returns whether one was started.
bool RegisterComponent(const SharedState& state, const std::string& target);

// True for "quillmend.exe" in any case: the running program, never written over.
bool IsOwnExecutableName(const std::string& file_name);

}  // namespace quillmend

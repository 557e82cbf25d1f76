// The pending update: files that could not be placed wait in program folder\newupdate and are
// offered at start-up, before a server-mode pass and before a forced download.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// CheckPendingUpdate: when program folder\newupdate (any case) exists, asks
// "업데이트를 적용하지 못한 프로그램이 있습니다. 진행하시겠습니까?"; on Yes applies the tree under the
// installed-version mark (GetLastVersion) and, when the pending-apply flag is still set,
// removes the emptied folders. No changes nothing. Never throws.
void CheckPendingUpdate(SharedState& state);

// ApplyPendingTree: applies every file below root\relative, depth-first (the files of each
// subfolder before those of its folder). A first-level folder "system" (any case) goes to the
// system folder, everything else to the program folder, the first-level "program" folder left
// out: newupdate\program\Reports\r.rpt -> program folder\Reports\r.rpt. A file that counts as
// applied is recorded ("Internet_NewUpdate" online, "Server_NewUpdate" offline) and deleted from
// the tree (read-only or not); a product program whose window is still open after the user was
// asked to close it keeps its file pending and clears g_PendingApply. Sets g_PendingApply on
// entering each folder; advances the walk counters. Failures leave the file pending.
void ApplyPendingTree(SharedState& state, const std::string& version, const std::string& root,
                      const std::string& relative);

// RemoveEmptyFolders: removes every empty folder below root\relative, deepest first, and root
// itself once it is empty. Folders that still hold a file stay, and so do their parents.
void RemoveEmptyFolders(SharedState& state, const std::string& root, const std::string& relative);

// The window title of a product program: its file name up to the first "." ("" without one).
std::string ProgramWindowTitle(const std::string& file_name);

}  // namespace quillmend

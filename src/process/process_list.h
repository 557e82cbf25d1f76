// The inventory of running processes that the download pass takes before it closes the
// product's programs. It lives in the main window's list `lvwProcesses`: one entry per process,
// its text the normalised executable path, sub-item 1 the process id in decimal, unchecked.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/controls.h"

namespace quillmend {

struct SharedState;

// Platform ids of the operating-system version record and the listing method each selects.
inline constexpr std::int32_t kSnapshotPlatformId = 1;       // Windows 95/98/Me: process snapshot
inline constexpr std::int32_t kProcessStatusPlatformId = 2;  // NT family: process-status functions

// The platform id of the version record (1, 2, or anything else for "no method").
std::int32_t GetPlatformId();

// Empties state.frmFiles->lvwProcesses (keeping exactly its two columns "Filename" and
// "Process ID") and fills it with the processes running now, by the method GetPlatformId
// selects. Reports nothing: processes that cannot be opened or whose path cannot be read are
// absent; with no snapshot or an unknown platform id the list stays empty. Does nothing when
// there is no window.
void ListProcesses(SharedState& state);

// The same for a given list and platform id (1: snapshot method, every process listed, this one
// included; 2: process-status method, this process left out; else: empty list).
void ListProcessesInto(ListViewControl& list, std::int32_t platform_id);

// The path normalisation of a listing method: every "\??\" removed, then every "\SystemRoot\"
// replaced by "C:\Windows\" (snapshot method) or "C:\WINDOWS\" (process-status method).
// Case-sensitive; nothing else changes.
std::string NormaliseProcessPath(std::string_view path, std::int32_t platform_id);

// EnumProcesses as the port offers it: fills ids (room for buffer_bytes / 4), reports the bytes
// written, false when refused.
using ProcessIdEnumerator =
    std::function<bool(std::uint32_t* ids, std::uint32_t buffer_bytes, std::uint32_t* written)>;

// The ids of all processes, the buffer sized by doubling: it starts at 16 bytes and doubles until
// the platform writes fewer bytes than the buffer holds. Empty when the platform refuses.
std::vector<std::uint32_t> CollectProcessIds(const ProcessIdEnumerator& enumerate);

// What the listing method of platform_id shows for one process now: its normalised path, or an
// empty text when that method would not list it (ended, not readable, an unknown method).
std::string CurrentProcessEntryText(std::uint32_t process_id, std::int32_t platform_id);

}  // namespace quillmend

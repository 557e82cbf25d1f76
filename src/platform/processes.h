// Port: listing the running processes and ending them.
//
// Windows: GetVersionExA, the Toolhelp process snapshot, the process-status functions
// (EnumProcesses, EnumProcessModules, GetModuleFileNameEx), OpenProcess, TerminateProcess,
// DebugActiveProcess and the SeDebugPrivilege token dance.
// POSIX: everything is read from /proc and ended with signals; each function below says how its
// Windows operation maps. Both backends use the same function names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmend {

// The platform-id field of the operating-system version record (GetVersionExA with the size
// field set to 148): 1 for the Windows 95/98/Me family, 2 for the NT family, 0 when the query
// fails. POSIX reports 2: /proc gives what the process-status functions give (ids, full paths).
std::int32_t QueryPlatformId();

// One process of a snapshot: its id and its executable field (UTF-8, as the platform fills it).
struct SnapshotProcess {
  std::uint32_t process_id = 0;
  std::string exe_file;
};

// CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0) walked with Process32First/Process32Next: every
// process in the order the platform reports it, this process included. False (and *processes
// empty) when no snapshot can be taken. POSIX: every numbered entry of /proc whose executable
// path can be read (see ReadProcessExecutablePath), in /proc's order.
bool TakeProcessSnapshot(std::vector<SnapshotProcess>* processes);

// EnumProcesses: writes the ids of the running processes into ids (room for buffer_bytes / 4
// ids) and sets *bytes_written to the number of bytes written; when the buffer is too small the
// list is cut and *bytes_written equals buffer_bytes. False when the platform refuses (then
// *bytes_written is 0). POSIX: the numbered entries of /proc, in /proc's order.
bool EnumerateProcessIds(std::uint32_t* ids, std::uint32_t buffer_bytes,
                         std::uint32_t* bytes_written);

// The full path of a process's executable, UTF-8, or nullopt when it cannot be had.
// Windows: OpenProcess(0x410), EnumProcessModules into room for 50 handles, GetModuleFileNameEx
// of the first module (the executable); nullopt when any of them fails or the path is empty.
// POSIX: the target of /proc/<id>/exe (without the " (deleted)" mark the kernel appends when the
// file was replaced or removed); when that link cannot be read (a process of another user, for
// instance), the first word of /proc/<id>/cmdline, i.e. the program as it was started; nullopt
// for processes that have neither (kernel threads, ended processes).
std::optional<std::string> ReadProcessExecutablePath(std::uint32_t process_id);

// OpenProcess(all access), TerminateProcess(exit_code), CloseHandle. True when the platform
// reported the termination as done; false when the process cannot be opened or ended.
// POSIX: kill(SIGKILL); the exit code cannot travel with a signal (the process ends "killed").
// Ids that are 0 or do not fit a positive pid are refused (kill would reach a process group).
bool TerminateProcessById(std::uint32_t process_id, std::uint32_t exit_code);

// DebugActiveProcess: attaches this program to the process as its debugger and never detaches,
// so a process that survived termination stays stopped while this program runs. True when
// attached. POSIX: left out on purpose (the counterpart, SIGSTOP, would leave a process stopped
// for good); does nothing and returns false.
bool AttachDebuggerToProcess(std::uint32_t process_id);

// Ends a process with the debug privilege enabled for the duration of the call:
//   - on the 95/98/Me family (GetVersion's top bit set) the token is left alone;
//   - else this program's token is opened (0x28), "SeDebugPrivilege" looked up on the local
//     system and enabled; any failure there returns false without trying to terminate;
//   - the process is opened with all access and terminated with exit_code;
//   - the privilege is disabled again and the token closed.
// True only when the platform reported the termination as done.
// POSIX: there is no privilege to enable (the right to signal is fixed by user and
// capabilities), so this is kill(SIGKILL) with the same refusals as TerminateProcessById.
bool TerminateProcessWithDebugPrivilege(std::uint32_t process_id, std::uint32_t exit_code);

}  // namespace quillmend

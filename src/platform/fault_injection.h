// Port: making the platform's file and socket calls fail on demand, for tests.
//
// The backends make their file calls (open or create, write, flush to disk, rename, remove, set
// the time) and the FTP backend its socket calls (connect, send, receive) through a table of
// system calls. Normally the table holds the platform's own functions, so an unused seam costs
// one indirect call and changes nothing. Installing rules swaps in checking versions of the
// same calls: a call that matches a rule fails with the rule's error before it reaches the
// system (the error is what the system itself would report: errno on POSIX, the Win32 error
// code on Windows), so every failure branch of the callers can be driven without a full disk,
// a read-only mount or a broken network.
//
// What each backend routes through the table:
// - POSIX: file placement, CAB expansion (libmspack writes through it), the local-file writer
//   (local_file.h; the settings writer uses it), and the FTP backend's connect/send/recv.
// - Windows: file placement (CopyFileEx counts as an open and a write of the copy), the
//   local-file writer, and the rename and removal of CAB expansion. The expand tool runs in its
//   own process and WinINet makes its own socket calls; neither can be reached.
// - Both: the database layer's ODBC handle allocations (odbc_sdk.h), as operation kAllocate
//   on the "paths" "env", "dbc" and "stmt"; the rule's error does not matter there, since
//   ODBC reports a failed allocation as SQL_ERROR alone.
//
// The rules are process-wide (there is one system-call table per process). Tests install them
// through ScopedFaults so that they never outlive the test; agent processes take them from the
// environment variable QUILLMEND_FAULTS once at start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmend {

enum class FaultOperation { kOpen, kWrite, kFlush, kRename, kRemove, kSetTime, kSend, kRecv,
                            kConnect, kAllocate };

enum class FaultError {
  kDiskFull,         // enospc: "No space left on device" / ERROR_DISK_FULL
  kAccessDenied,     // eacces: "Permission denied" / ERROR_ACCESS_DENIED
  kIoError,          // eio: "Input/output error" / ERROR_WRITE_FAULT
  kReadOnly,         // erofs: "Read-only file system" / ERROR_WRITE_PROTECT
  kConnectionReset,  // econnreset / WSAECONNRESET
  kTimedOut,         // etimedout / WSAETIMEDOUT
};

// One rule: among the calls of `operation` whose path matches `path_pattern`, the `nth`
// (1-based) and the `count` - 1 after it fail with `error`; count 0 makes every call from the
// nth on fail. The pattern is matched against the whole path without regard to ASCII case;
// '*' stands for any run of characters (separators included). Socket calls ignore the pattern.
// A rename matches on its source or its target path. A write, flush or time change on a file
// opened before the rules were installed has no known path and is matched as "".
struct FaultRule {
  FaultOperation operation = FaultOperation::kOpen;
  std::string path_pattern = "*";
  FaultError error = FaultError::kIoError;
  std::uint64_t nth = 1;
  std::uint64_t count = 0;
};

// Parses the text form used by QUILLMEND_FAULTS: rules separated by ';', each
// `<op>:<path-glob>:<error>[:<nth>[:<count>]]` with op one of open, write, flush, rename,
// remove, settime, send, recv, connect, alloc and error one of enospc, eacces, eio, erofs,
// econnreset, etimedout (all lower case); empty rules are skipped. Paths containing ':'
// (Windows drive letters) are written with the drive's colon escaped as "\:" or matched with
// '*'.
// Returns nullopt and sets *error (naming the rule at fault) on any malformed rule.
std::optional<std::vector<FaultRule>> ParseFaultRules(std::string_view text, std::string* error);

// Installs `rules`, replacing any installed before; every rule's count of matching calls
// starts at zero. An empty list is the same as RemoveFaults().
void InstallFaults(std::vector<FaultRule> rules);

// Puts the platform's own calls back into the table.
void RemoveFaults();

// Failures made since rules were last installed (every rule together); still readable after
// RemoveFaults.
std::uint64_t InjectedFaultCount();

// Reads QUILLMEND_FAULTS once and installs its rules. Unset or empty: nothing happens. A
// malformed value is reported once on standard error and ignored (no rule is installed).
// Called once from the process entry.
void InstallFaultsFromEnvironment();

// Installs rules for the lifetime of the object and removes them again at its end.
class ScopedFaults {
 public:
  explicit ScopedFaults(std::vector<FaultRule> rules);
  ~ScopedFaults();
  ScopedFaults(const ScopedFaults&) = delete;
  ScopedFaults& operator=(const ScopedFaults&) = delete;
};

// True when `path` matches `pattern` in the rules' sense (exposed for the contract tests).
bool FaultPatternMatches(std::string_view pattern, std::string_view path);

}  // namespace quillmend

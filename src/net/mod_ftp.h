// The two free-standing helpers of the FTP module: running a command line hidden while the
// window stays responsive, and turning a UTC file time into the program's local date value.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillmend {

struct SharedState;

// Raised by RunAndWait when the command's program cannot be started.
class StartProgramError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by RunAndWait when the process did not end within its time limit (it has been ended).
class ProgramTimeoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The time limit RunAndWait applies when the caller names none.
inline constexpr int kRunAndWaitLimitMs = 10 * 60 * 1000;

// Starts command_line (program and arguments, no command interpreter) with a hidden window and
// returns once the process has ended. Every cycle lets the window process its events
// (state.ui_), sleeps 100 ms and checks the process, so even a process that ends at once costs
// one cycle. The exit code is not looked at. Throws StartProgramError (with the platform's
// text) when the program cannot be started; nothing is waited for then. A process still running
// after time_limit_ms (counted by the cycles' sleeps) is ended and ProgramTimeoutError thrown,
// so a hung tool cannot stall the agent.
void RunAndWait(SharedState& state, const std::string& command_line,
                int time_limit_ms = kRunAndWaitLimitMs);

// A FILETIME: 100-nanosecond intervals since 1 January 1601 00:00 UTC.
using FileTime = std::uint64_t;

// Day count since 30 December 1899 00:00 local time (fraction = time of day) of the given UTC
// file time. Values before 1899 are not treated specially: west of UTC a file time of 0 gives
// -109205 minus the offset. When the file time or its local time does not fit the signed
// 64-bit count, shows a message box holding only the error code (87) and returns 0.
double FileTimeToDate(SharedState& state, FileTime file_time);

// The file time of a moment given in seconds since 1970-01-01 UTC.
FileTime FileTimeFromUnixSeconds(std::int64_t unix_seconds);

}  // namespace quillmend

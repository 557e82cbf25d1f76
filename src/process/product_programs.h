// Closing the product's front-end programs before an update replaces their files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/controls.h"

namespace quillmend {

struct SharedState;

// The product's front-end executables, matched by file name only.
inline constexpr std::array<const char*, 3> kProductPrograms = {"Velmont.exe", "Carrowby.exe",
                                                                "Drustan.exe"};

// The three lines of the question, joined by CR LF.
std::string CloseProgramsQuestion();

// True when the last piece of path (after the last "\", and where "/" separates paths also after
// the last "/") equals one of kProductPrograms, upper-cased on both sides (ASCII letters only).
// Nothing else is folded: blanks, NULs or another extension make the names differ.
bool IsProductProgramPath(std::string_view path);

// Sets the check mark of every entry of list whose path names a product program; returns
// whether there was at least one. Marks already set stay set.
bool MarkProductPrograms(ListViewControl& list);

// Looks for the product's programs in state.frmFiles->lvwProcesses (filled by ListProcesses) and
// marks them. When at least one was found and g_ContinueUpdate is set, asks once (Yes/No, title
// kProgramTitle, CloseProgramsQuestion()): No clears g_ContinueUpdate and ends nothing; Yes sends
// every marked entry the three termination requests (terminate; attach as debugger; terminate
// with the debug privilege), results ignored, without waiting for any process to end.
// An entry is not sent anything when its id is this program's own, is not a number, or no longer
// shows the listed path (the program ended and its id now belongs to another one). A Yes given
// after g_ContinueUpdate was cleared while the question was open (the user chose exit) ends
// nothing.
void CloseProductPrograms(SharedState& state);

// Ends one process with the debug privilege enabled for the call (see the processes port);
// true when the platform reported the termination as done.
bool TerminateWithDebugPrivilege(std::int32_t process_id, std::int32_t exit_code);

}  // namespace quillmend

// Port: facts about the running process and the machine.
#pragma once

#include <optional>
#include <string>

namespace quillmend {

// Folder of the running executable, without a trailing separator.
std::string ExecutableFolder();
// The platform's system folder without a trailing separator (GetSystemDirectory), or nullopt
// where the platform has none (POSIX: the agent settings name one).
std::optional<std::string> PlatformSystemFolder();
// Id of this process.
unsigned long CurrentProcessId();
// True when a window can be shown (Windows: always; POSIX: an X display answers).
bool DisplayAvailable();
// The command that opens a text file for reading (Windows: "notepad"; POSIX: none, "").
std::string DefaultNotesCommand();
// Sleeps the calling thread.
void SleepMilliseconds(int milliseconds);

}  // namespace quillmend

// Port: expanding a CAB archive that holds one file.
// Windows: the system's "expand" tool, run through the caller's command runner (which waits for
// the process while the window keeps processing events). POSIX: libmspack, in process.
#pragma once

#include <functional>
#include <string>

namespace quillmend {

// Runs a command line hidden and returns when the started process has ended. Throws when the
// program cannot be started.
using CommandRunner = std::function<void(const std::string& command_line)>;

// Expands the single file held by the CAB archive at `archive` into the file `expanded`
// (whatever name the file has inside the archive). The data goes to a temporary file beside
// `expanded` that is renamed into place only when the whole expansion succeeded, so a failure
// leaves `expanded` as it was before the call and no partial file behind. The expanded file
// carries the date and time stored for it in the archive.
// Returns false and sets *error when the archive cannot be read, is damaged (a block checksum
// that does not match, data that does not decompress to the stated size), or does not hold
// exactly one file. Blocks whose stored checksum is 0 are not verified (the format's rule).
// `run` is used only by backends that expand with an external program.
bool ExpandSingleFileCabinet(const std::string& archive, const std::string& expanded,
                             const CommandRunner& run, std::string* error);

// The temporary file an expansion into `expanded` writes before it is renamed into place.
std::string ExpansionTempPath(const std::string& expanded);

}  // namespace quillmend

// Port: file names that compare without regard to case.
// On Windows the file system already ignores case; on a case-sensitive file system a path the
// program spells one way must find the existing entry of that name in any case.
#pragma once

#include <filesystem>
#include <string>

namespace quillmend {

// Returns path with every existing component replaced by the spelling found on disk; components
// that do not exist are kept as given (so a new entry is created in the program's spelling).
// Accepts both "\" and "/" as separators on POSIX. Never fails: on any error returns path.
std::string ResolveExistingPath(const std::string& path);

// Converts UTF-8 text to a filesystem path and back without the ANSI code page in between.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

// The platform's path separator as text ("\\" on Windows, "/" on POSIX).
const std::string& PathSeparator();

}  // namespace quillmend

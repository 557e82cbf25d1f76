// Folder helper shared by placement, the pending update and the FTP tree walk.
#pragma once

#include <string>
#include <vector>

namespace quillmend {

// The folders EnsureFolderPath looks at, in order, with the platform's separator. The root is
// never among them: "C:" for a drive path, "\\server\share" for a network path (neither can be
// created); a path without either is taken from the root (on POSIX "/"), which comes first.
// Both "\" and "/" separate; empty pieces (doubled or trailing separators) add nothing.
//   "C:\A\B\"                  -> C:\A, C:\A\B
//   "\\server\orvel\download"  -> \\server\orvel\download
//   "\A\B"                     -> \, \A, \A\B
std::vector<std::string> FolderPathSteps(const std::string& path);

// EnsureFolderPath: creates every missing folder of FolderPathSteps(path) in order ("C:\A\B\"
// creates C:\A then C:\A\B; "\\server\share\a" creates \\server\share\a below the share).
// Existing folders are left alone. Throws std::filesystem::filesystem_error when a folder cannot
// be created, for example below a share that cannot be reached (the caller's handling applies).
void EnsureFolderPath(const std::string& path);

}  // namespace quillmend

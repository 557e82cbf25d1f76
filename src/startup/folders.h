// Folder helper shared by placement, the pending update and the FTP tree walk.
#pragma once

#include <string>

namespace quillmend {

// EnsureFolderPath: creates every missing folder along path. "C:\A\B\" creates C:\A then C:\A\B.
// A path without a drive is taken from the root (on POSIX: "/"). Both "\" and "/" separate.
// Existing folders are left alone. Throws std::filesystem::filesystem_error when a folder cannot
// be created (the caller's handling applies).
void EnsureFolderPath(const std::string& path);

}  // namespace quillmend

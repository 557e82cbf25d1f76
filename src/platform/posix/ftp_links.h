// Symbolic links in a listing of the POSIX FTP backend, typed by what they point to.
// Internal to src/platform/posix.
//
// proftpd, pure-ftpd and vsftpd list a link as an "l" line with the link's own size, so a
// link to a file would be downloaded with a wrong size and a link to a folder would never be
// walked. Each link is therefore probed: a CWD into it that succeeds makes it a folder (and the
// listed folder is entered again at once), otherwise SIZE gives the size of the file it points
// to. A link that points at the listed folder itself or a folder above it is dropped: walking
// it would never end.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "platform/posix/internet_handles.h"

namespace quillmend::inet::posix {

struct ListedLink {
  std::size_t index = 0;   // the entry in the listing
  std::string target;      // the text after " -> ", in the server's bytes ("" when not shown)
};

// Types the `links` of `entries` (a listing of `folder_wire`, "" for the current folder, in
// the server's bytes). False with the error set when the connection failed or the server
// could not be brought back to the folder it was in; the entries are then unusable.
bool TypeListedLinks(FtpConnection& connection, const std::string& folder_wire,
                     std::vector<FindData>& entries, const std::vector<ListedLink>& links);

// The "/"-separated path `target` seen from `folder` (absolute, in the server's view), with
// "." and ".." resolved; both in the server's bytes. True when it is `folder` or lies above it.
bool PointsUpward(const std::string& folder, const std::string& target);

}  // namespace quillmend::inet::posix

// A network share the tests can reach: "\\server\share" naming a fresh, empty folder.
#pragma once

#include <optional>
#include <string>

namespace quillmend::testing {

struct ReachableShare {
  std::string unc_root;      // "\\server\share"
  std::string local_folder;  // the same folder as a local path of this process
};

// POSIX: a fresh folder /a/b read as the share "\\a\b" (a doubled leading separator names the
// root). Wine: a fresh share below the prefix's folder of network shares (dosdevices/unc).
// nullopt where no share can be made (Windows outside Wine). Removed by RemoveShare.
std::optional<ReachableShare> MakeReachableShare();
void RemoveShare(const ReachableShare& share);

}  // namespace quillmend::testing

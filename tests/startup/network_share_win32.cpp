#include <filesystem>
#include <random>

#include "platform/file_names.h"
#include "startup/network_share.h"
#include "support/host_paths.h"

namespace quillmend::testing {

std::optional<ReachableShare> MakeReachableShare() {
  // Wine serves \\server\share from <prefix>/dosdevices/unc/server/share.
  const std::string prefix = GetEnvironment("WINEPREFIX");
  if (prefix.empty()) return std::nullopt;
  std::random_device random;
  const std::string share = "share" + std::to_string(random());
  const std::string local =
      LocalPathOfHost(prefix + "/dosdevices/unc/quillmend-test/" + share);
  std::error_code ec;
  std::filesystem::create_directories(FsPath(local), ec);
  if (ec) return std::nullopt;
  return ReachableShare{"\\\\quillmend-test\\" + share, local};
}

void RemoveShare(const ReachableShare& share) {
  std::error_code ignored;
  std::filesystem::remove_all(FsPath(share.local_folder), ignored);
}

}  // namespace quillmend::testing

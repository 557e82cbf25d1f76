#include <filesystem>
#include <random>

#include "startup/network_share.h"
#include "base/text.h"

namespace quillmend::testing {

std::optional<ReachableShare> MakeReachableShare() {
  std::random_device random;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("quillmend-share-" + std::to_string(random()));
  std::filesystem::create_directories(folder);
  const std::string local = folder.string();  // "/tmp/quillmend-share-N"
  return ReachableShare{"\\" + ReplaceAll(local, "/", "\\"), local};
}

void RemoveShare(const ReachableShare& share) {
  std::error_code ignored;
  std::filesystem::remove_all(share.local_folder, ignored);
}

}  // namespace quillmend::testing

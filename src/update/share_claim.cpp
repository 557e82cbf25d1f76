#include "update/share_claim.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/file_names.h"
#include "startup/program_paths.h"
#include "update/share_record.h"

namespace quillmend {
namespace {

namespace fs = std::filesystem;

std::string ClaimPath(const std::string& share, const std::string& version) {
  return ResolveExistingPath(ShareRecordFolder(share) + PathSeparator() + version + ".claim");
}

// Seconds since the claim folder was last written; nullopt when it does not exist.
std::optional<long long> ClaimAge(const std::string& claim) {
  std::error_code ec;
  const auto written = fs::last_write_time(FsPath(claim), ec);
  if (ec) return std::nullopt;
  const auto age = fs::file_time_type::clock::now() - written;
  return std::chrono::duration_cast<std::chrono::seconds>(age).count();
}

std::string ClaimOwnerFile(const std::string& claim) { return claim + PathSeparator() + "owner"; }

bool ClaimIsOwners(const std::string& claim, const std::string& owner) {
  std::ifstream in(FsPath(ClaimOwnerFile(claim)), std::ios::binary);
  std::string text;
  return static_cast<bool>(std::getline(in, text)) && text == owner;
}

}  // namespace

std::string ClaimOwner(const SharedState& state) {
  return state.g_HostName + " " + state.program_folder_;
}

bool ShareClaim::Take(const std::string& share, const std::string& version,
                      const std::string& owner, int stale_seconds) {
  Release();
  std::error_code ec;
  // One level only: a share that has gone is not made again here.
  fs::create_directory(FsPath(ShareRecordFolder(share)), ec);
  const std::string claim = ClaimPath(share, version);
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Making a folder succeeds for exactly one of several workstations, also on a network share.
    if (fs::create_directory(FsPath(claim), ec) && !ec) {
      std::ofstream(FsPath(ClaimOwnerFile(claim)), std::ios::binary) << owner << "\n";
      path_ = claim;
      return true;
    }
    const std::optional<long long> age = ClaimAge(claim);
    const bool own = ClaimIsOwners(claim, owner);
    if (age && !own && *age < stale_seconds) return false;  // another workstation downloads it
    // This workstation's own claim (an earlier run ended before releasing it) or a stale one.
    // (A claim whose owner file is not written yet counts as fresh through its folder's age.)
    fs::remove_all(FsPath(claim), ec);
  }
  return false;
}

void ShareClaim::Release() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(FsPath(path_), ec);
  path_.clear();
}

bool ShareClaim::OtherHolds(const std::string& share, const std::string& version,
                            const std::string& owner, int stale_seconds) {
  const std::string claim = ClaimPath(share, version);
  const std::optional<long long> age = ClaimAge(claim);
  return age && *age < stale_seconds && !ClaimIsOwners(claim, owner);
}

}  // namespace quillmend

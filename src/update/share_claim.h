// A workstation's claim on the clinic share to download a version for the other workstations,
// so that of a fleet starting together one downloads and the others wait for it.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// Who claims: the host name and the program folder (ClaimOwner), so that two workstations
// differ even where they share a name, and a workstation knows its own claim of an earlier run.
std::string ClaimOwner(const SharedState& state);

// A workstation's claim to download a version for the share: the folder
// <share>\versions\<version>.claim, made in one step (so that of two workstations starting at
// the same moment exactly one gets it), holding the file "owner" with the owner's text. Removed
// when the object is released or destroyed.
class ShareClaim {
 public:
  ShareClaim() = default;
  ~ShareClaim() { Release(); }
  ShareClaim(const ShareClaim&) = delete;
  ShareClaim& operator=(const ShareClaim&) = delete;

  // Takes the claim for owner. A claim of the same owner (left by an earlier run of this
  // workstation) or one older than stale_seconds is taken over. False when another host holds
  // a fresh claim, or the share cannot be written.
  bool Take(const std::string& share, const std::string& version, const std::string& owner,
            int stale_seconds);
  void Release();
  bool held() const { return !path_.empty(); }

  // True when an owner other than owner holds a claim for version that is fresher than
  // stale_seconds: that workstation is downloading the version for the share now.
  static bool OtherHolds(const std::string& share, const std::string& version,
                         const std::string& owner, int stale_seconds);

 private:
  std::string path_;
};

}  // namespace quillmend

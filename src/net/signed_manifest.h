// The vendor's signed manifest of a version folder.
//
// When a version folder holds "SHA256SUMS" (lines as sha256sum writes them: 64 hex digits, two
// blanks, or a blank and "*", then the path relative to the version folder with "/") and its
// detached signature "SHA256SUMS.sig" (ECDSA P-256 over SHA-256 of the manifest's bytes, r then
// s, 64 bytes; see platform/signature.h), both are downloaded before any other file of the
// version, the signature is checked with the vendor's public key, and every downloaded file
// must be named by the manifest with its digest. A folder without a manifest is taken as it is.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quillmend {

class cFTP;
struct SharedState;

inline constexpr const char* kManifestName = "SHA256SUMS";
inline constexpr const char* kManifestSignatureName = "SHA256SUMS.sig";

// The vendor's public key built into the agent (130 hex digits of the uncompressed point);
// quillmend.ini's [Update] ManifestKey replaces it.
std::string BuiltInManifestKey();
// The 65-byte key of a text of 130 hex digits (blanks around it ignored); nullopt otherwise.
std::optional<std::string> ManifestKeyFromHex(std::string_view hex);
// The key to check manifests with: [Update] ManifestKey of quillmend.ini, else the built-in
// one. Empty when the configured text is no key (every signed version then fails, loudly,
// rather than be taken unchecked).
std::string ManifestKey(const SharedState& state);

class SignedManifest {
 public:
  // The manifest when `signature` is the vendor's signature of `manifest` and every line of
  // it is well-formed; else nullopt with the reason in `error`.
  static std::optional<SignedManifest> Verify(std::string_view manifest,
                                              std::string_view signature,
                                              std::string_view public_key, std::string& error);
  // True when `relative` (below the version folder, "/"-separated; letter case does not
  // matter) is named by the manifest and the file at `local_path` has its digest; else false
  // with the reason in `error`.
  bool Admits(const std::string& relative, const std::string& local_path,
              std::string& error) const;
  std::size_t size() const { return digests_.size(); }

 private:
  std::map<std::string, std::string> digests_;  // folded relative path -> 32-byte digest
};

// Looks for the manifest in the connection's current folder (the version folder) and, when it
// is there, downloads it and its signature into `work_folder` and verifies them with `key`
// (65 bytes; empty: none configured). True with `manifest` empty when the folder has none;
// true with `manifest` set when it verified; false with `error` when the version must fail (a
// manifest with a missing or bad signature, one that cannot be downloaded, or no usable key).
bool FetchSignedManifest(cFTP& ftp, const std::string& work_folder, const std::string& key,
                         std::optional<SignedManifest>& manifest, std::string& error);

}  // namespace quillmend

// The vendor's signed manifest of a version folder.
#include "net/signed_manifest.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "net/c_ftp.h"
#include "platform/file_names.h"
#include "platform/signature.h"
#include "startup/agent_settings.h"
#include "base/text.h"

namespace quillmend {
namespace {

// The key the vendor signs with (its private half never leaves the vendor).
constexpr const char* kBuiltInKey =
    "04aa64967f1e6de180a5153c10dfd0a1e7f1e7ff7851e807fd29092137a18d11b9"
    "8db00ad340a8d65362d40b8e9491d371ecb803a1d60ae36268ad83389ac2238a";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

std::string Fold(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return ToUpperAscii(path);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string BuiltInManifestKey() { return kBuiltInKey; }

std::string ManifestKey(const SharedState& state) {
  return ManifestKeyFromHex(AgentSetting(state, "Update", "ManifestKey", kBuiltInKey))
      .value_or("");
}

std::optional<std::string> ManifestKeyFromHex(std::string_view hex) {
  const std::size_t first = hex.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::nullopt;
  hex = hex.substr(first, hex.find_last_not_of(" \t\r\n") - first + 1);
  if (hex.size() != 130) return std::nullopt;
  return FromHex(hex);
}

std::optional<SignedManifest> SignedManifest::Verify(std::string_view manifest,
                                                     std::string_view signature,
                                                     std::string_view public_key,
                                                     std::string& error) {
  if (!crypto::VerifyP256Sha256(public_key, manifest, signature)) {
    error = std::string(kManifestSignatureName) + " is not the vendor's signature of " +
            kManifestName;
    return std::nullopt;
  }
  SignedManifest result;
  std::size_t begin = 0;
  int number = 0;
  while (begin < manifest.size()) {
    std::size_t end = manifest.find('\n', begin);
    if (end == std::string_view::npos) end = manifest.size();
    std::string_view line = manifest.substr(begin, end - begin);
    begin = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    // "<64 hex>  path" (text mode) or "<64 hex> *path" (binary mode).
    std::optional<std::string> digest =
        line.size() > 66 ? FromHex(line.substr(0, 64)) : std::nullopt;
    if (!digest || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) {
      error = std::string(kManifestName) + " line " + std::to_string(number) + " is malformed";
      return std::nullopt;
    }
    std::string path(line.substr(66));
    if (path.rfind("./", 0) == 0) path.erase(0, 2);
    result.digests_[Fold(path)] = *digest;
  }
  return result;
}

bool SignedManifest::Admits(const std::string& relative, const std::string& local_path,
                            std::string& error) const {
  const auto named = digests_.find(Fold(relative));
  if (named == digests_.end()) {
    error = relative + " is not named in " + kManifestName;
    return false;
  }
  const std::optional<std::string> digest = crypto::Sha256OfFile(local_path);
  if (!digest) {
    error = "cannot read " + local_path + " to check its digest";
    return false;
  }
  if (*digest != named->second) {
    error = relative + " differs from its digest in " + kManifestName;
    return false;
  }
  return true;
}

bool FetchSignedManifest(cFTP& ftp, const std::string& work_folder, const std::string& key,
                         std::optional<SignedManifest>& manifest, std::string& error) {
  manifest.reset();
  const std::int64_t manifest_size = ftp.GetFTPFileSize(kManifestName);
  if (manifest_size == -1) return true;  // no manifest: the folder is taken as it is
  if (manifest_size < 0) {
    error = ftp.GetLastErrorMessage();
    return false;
  }
  const std::int64_t signature_size = ftp.GetFTPFileSize(kManifestSignatureName);
  if (signature_size < 0) {
    error = signature_size == -1 ? std::string(kManifestName) + " has no " +
                                       kManifestSignatureName + " beside it"
                                 : ftp.GetLastErrorMessage();
    return false;
  }
  if (key.empty()) {
    error = "no public key to check " + std::string(kManifestSignatureName) + " with";
    return false;
  }
  std::error_code ignored;
  std::filesystem::create_directories(FsPath(work_folder), ignored);
  const std::string local_manifest = work_folder + PathSeparator() + kManifestName;
  const std::string local_signature = work_folder + PathSeparator() + kManifestSignatureName;
  const bool fetched = ftp.FTPDownloadFile(local_manifest, kManifestName, manifest_size) &&
                       signature_size > 0 &&
                       ftp.FTPDownloadFile(local_signature, kManifestSignatureName,
                                           signature_size);
  std::string manifest_bytes, signature_bytes;
  if (fetched) {
    manifest_bytes = ReadAll(local_manifest);
    signature_bytes = ReadAll(local_signature);
  }
  std::filesystem::remove(FsPath(local_manifest), ignored);
  std::filesystem::remove(FsPath(local_signature), ignored);
  if (!fetched) {
    error = signature_size == 0 ? std::string(kManifestSignatureName) + " is empty"
                                : ftp.GetLastErrorMessage();
    return false;
  }
  manifest = SignedManifest::Verify(manifest_bytes, signature_bytes, key, error);
  return manifest.has_value();
}

}  // namespace quillmend

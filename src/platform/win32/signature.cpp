// Signed-manifest crypto on Windows: BCrypt (CNG).
#include "platform/signature.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "platform/win32/wide.h"

namespace quillmend::crypto {
namespace {

constexpr std::size_t kPointSize = 65;
constexpr std::size_t kSignatureSize = 64;

bool Ok(NTSTATUS status) { return status >= 0; }

class Algorithm {
 public:
  explicit Algorithm(const wchar_t* name) {
    if (!Ok(BCryptOpenAlgorithmProvider(&handle_, name, nullptr, 0))) handle_ = nullptr;
  }
  ~Algorithm() {
    if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// SHA-256 of bytes fed in pieces.
class Sha256 {
 public:
  Sha256() : algorithm_(BCRYPT_SHA256_ALGORITHM) {
    if (algorithm_.get() == nullptr ||
        !Ok(BCryptCreateHash(algorithm_.get(), &hash_, nullptr, 0, nullptr, 0, 0))) {
      hash_ = nullptr;
    }
  }
  ~Sha256() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  bool Add(const void* data, std::size_t size) {
    return hash_ != nullptr &&
           Ok(BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)),
                             static_cast<ULONG>(size), 0));
  }
  std::optional<std::string> Finish() {
    unsigned char digest[32];
    if (hash_ == nullptr || !Ok(BCryptFinishHash(hash_, digest, sizeof digest, 0))) {
      return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
  }

 private:
  Algorithm algorithm_;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::optional<std::string> Sha256OfFile(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  Sha256 hash;
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!hash.Add(buffer.data(), got)) {
      ok = false;
      break;
    }
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return hash.Finish();
}

bool VerifyP256Sha256(std::string_view public_key, std::string_view message,
                      std::string_view signature) {
  if (public_key.size() != kPointSize || public_key[0] != '\x04' ||
      signature.size() != kSignatureSize) {
    return false;
  }
  Sha256 hash;
  if (!hash.Add(message.data(), message.size())) return false;
  std::optional<std::string> digest = hash.Finish();
  Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!digest || ecdsa.get() == nullptr) return false;
  std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, public_key.data() + 1, 64);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!Ok(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                              static_cast<ULONG>(blob.size()), 0))) {
    return false;
  }
  std::string sig(signature);
  const NTSTATUS status = BCryptVerifySignature(
      key, nullptr, reinterpret_cast<PUCHAR>(digest->data()), static_cast<ULONG>(digest->size()),
      reinterpret_cast<PUCHAR>(sig.data()), static_cast<ULONG>(sig.size()), 0);
  BCryptDestroyKey(key);
  return status == 0;
}

}  // namespace quillmend::crypto

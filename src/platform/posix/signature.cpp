// Signed-manifest crypto on POSIX: libcrypto (OpenSSL 3).
#include "platform/signature.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/file_names.h"

namespace quillmend::crypto {
namespace {

constexpr std::size_t kPointSize = 65;
constexpr std::size_t kSignatureSize = 64;

struct Free {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
  void operator()(std::FILE* p) const { std::fclose(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

Owned<EVP_PKEY> PublicKey(std::string_view point) {
  if (point.size() != kPointSize || point[0] != '\x04') return nullptr;
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!context || EVP_PKEY_fromdata_init(context.get()) != 1) return nullptr;
  char group[] = "prime256v1";
  std::vector<unsigned char> bytes(point.begin(), point.end());
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, bytes.data(), bytes.size()),
      OSSL_PARAM_construct_end()};
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) return nullptr;
  return Owned<EVP_PKEY>(key);
}

// r || s -> the DER form libcrypto verifies.
std::vector<unsigned char> DerSignature(std::string_view raw) {
  Owned<ECDSA_SIG> sig(ECDSA_SIG_new());
  if (!sig) return {};
  const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
  BIGNUM* r = BN_bin2bn(bytes, 32, nullptr);
  BIGNUM* s = BN_bin2bn(bytes + 32, 32, nullptr);
  if (r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  const int size = i2d_ECDSA_SIG(sig.get(), nullptr);
  if (size <= 0) return {};
  std::vector<unsigned char> der(static_cast<std::size_t>(size));
  unsigned char* out = der.data();
  i2d_ECDSA_SIG(sig.get(), &out);
  return der;
}

}  // namespace

std::optional<std::string> Sha256OfFile(const std::string& path) {
  Owned<std::FILE> file(std::fopen(path.c_str(), "rb"));
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
    return std::nullopt;
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (n > 0 && EVP_DigestUpdate(context.get(), buffer.data(), n) != 1) return std::nullopt;
    if (n < buffer.size()) break;
  }
  if (std::ferror(file.get())) return std::nullopt;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(digest), length);
}

bool VerifyP256Sha256(std::string_view public_key, std::string_view message,
                      std::string_view signature) {
  if (signature.size() != kSignatureSize) return false;
  Owned<EVP_PKEY> key = PublicKey(public_key);
  const std::vector<unsigned char> der = DerSignature(signature);
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  if (!key || der.empty() || !context ||
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
    return false;
  }
  return EVP_DigestVerify(context.get(), der.data(), der.size(),
                          reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

}  // namespace quillmend::crypto

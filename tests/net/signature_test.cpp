// The crypto port against a signature made by openssl (the vendor's tool): accepted as made,
// refused after any change of message, signature or key.
#include <gtest/gtest.h>

#include "net/signed_manifest.h"
#include "platform/signature.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

const std::string kMessage = "hello manifest\n";
const char* kKey =
    "04374ff49f0c51ebe0f1b5aa4da811a15234bf5fa985563abb8ca717a714522730"
    "d73db06858ef6b22315d0c0787927cf6a4d91329f1707c0bb2312218ad0fa885";
const char* kSignature =
    "25e2e4e72bbae7fef8e89bacd442b63b6911c52479da52e5db8b3f956eb99664"
    "2ea52c804c7204b5e6964f92a9f6f8e9465b0afea900d90e671fadbc61837dbf";

std::string Bytes(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

TEST(Signature, AcceptsTheVendorsSignatureAndNothingChanged) {
  const std::optional<std::string> key = ManifestKeyFromHex(std::string(" ") + kKey + "\r\n");
  ASSERT_TRUE(key.has_value());
  const std::string signature = Bytes(kSignature);
  EXPECT_TRUE(crypto::VerifyP256Sha256(*key, kMessage, signature));

  EXPECT_FALSE(crypto::VerifyP256Sha256(*key, "hello manifesT\n", signature));
  std::string flipped = signature;
  flipped[40] = static_cast<char>(flipped[40] ^ 1);
  EXPECT_FALSE(crypto::VerifyP256Sha256(*key, kMessage, flipped));
  const std::optional<std::string> other = ManifestKeyFromHex(BuiltInManifestKey());
  ASSERT_TRUE(other.has_value());
  EXPECT_FALSE(crypto::VerifyP256Sha256(*other, kMessage, signature));
  // Malformed inputs are refused, not trusted.
  EXPECT_FALSE(crypto::VerifyP256Sha256(key->substr(1), kMessage, signature));
  EXPECT_FALSE(crypto::VerifyP256Sha256(*key, kMessage, signature.substr(0, 63)));
  EXPECT_FALSE(crypto::VerifyP256Sha256(std::string(65, '\x04'), kMessage, signature));
  EXPECT_FALSE(ManifestKeyFromHex("04zz").has_value());
}

TEST(Signature, FileDigestsAreSha256) {
  testing::TempFolder folder;
  testing::WriteFileBytes(folder.Sub("m.txt"), kMessage);
  EXPECT_EQ(crypto::Sha256OfFile(folder.Sub("m.txt")),
            Bytes("65e424f78e976256acdf2c33525f3639cbe7b26d103be74bae89011bd71c3d2e"));
  EXPECT_FALSE(crypto::Sha256OfFile(folder.Sub("missing.txt")).has_value());
}

}  // namespace
}  // namespace quillmend

// Signed manifests as the vendor's tool writes them (tools/sign-manifest), checked file by file
// and fetched from a real server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "net/ftp_fixture.h"
#include "net/signed_manifest.h"

namespace quillmend {
namespace {

using testing::FtpServer;
using testing::FtpServerKind;

const std::string kTool =
    std::string(QUILLMEND_TEST_SOURCE_DIR) + "/tools/sign-manifest/sign-manifest";

// Runs the vendor's tool; its standard output (the public key for new-key) goes to `out`.
bool Tool(const std::string& arguments, const std::string& out = "/dev/null") {
  return std::system((kTool + " " + arguments + " > '" + out + "' 2>/dev/null").c_str()) == 0;
}

class SignedManifests : public ::testing::Test, public FtpFixture {
 protected:
  void SetUp() override {
    if (!FtpServer::CanStart(FtpServerKind::kPyftpdlib)) GTEST_SKIP() << "no pyftpdlib";
    ASSERT_TRUE(StartServer({FtpServerKind::kPyftpdlib, true})) << FtpServer::LastStartError();
    Serve("v/program/a.exe.cab", BinaryBytes(3000));
    Serve("v/system/b.ocx.cab", "ocx");
    ASSERT_TRUE(Tool("new-key '" + keys_.Sub("vendor.pem") + "'", keys_.Sub("vendor.hex")));
    key_ = *ManifestKeyFromHex(testing::ReadFileBytes(keys_.Sub("vendor.hex")));
  }
  std::string Version() { return server().root() + "/v"; }
  bool Sign(const std::string& key_name = "vendor.pem") {
    const bool ok = Tool("sign '" + Version() + "' '" + keys_.Sub(key_name) + "'");
    server().Share();
    return ok;
  }
  std::optional<SignedManifest> Read(std::string& error) {
    return SignedManifest::Verify(testing::ReadFileBytes(Version() + "/SHA256SUMS"),
                                  testing::ReadFileBytes(Version() + "/SHA256SUMS.sig"), key_,
                                  error);
  }

  testing::TempFolder keys_;
  std::string key_;
};

TEST_F(SignedManifests, NamedFilesWithTheirDigestsAreAdmittedAndNothingElse) {
  ASSERT_TRUE(Sign());
  std::string error;
  std::optional<SignedManifest> manifest = Read(error);
  ASSERT_TRUE(manifest.has_value()) << error;
  EXPECT_EQ(manifest->size(), 2u);
  EXPECT_TRUE(manifest->Admits("program/a.exe.cab", Version() + "/program/a.exe.cab", error))
      << error;
  EXPECT_TRUE(manifest->Admits("SYSTEM/B.OCX.CAB", Version() + "/system/b.ocx.cab", error));

  // An altered file, and one the manifest does not name.
  testing::WriteFileBytes(Version() + "/system/b.ocx.cab", "oCx");
  EXPECT_FALSE(manifest->Admits("system/b.ocx.cab", Version() + "/system/b.ocx.cab", error));
  EXPECT_NE(error.find("differs"), std::string::npos) << error;
  testing::WriteFileBytes(Version() + "/program/extra.dll", "x");
  EXPECT_FALSE(manifest->Admits("program/extra.dll", Version() + "/program/extra.dll", error));
  EXPECT_NE(error.find("not named"), std::string::npos) << error;
}

TEST_F(SignedManifests, AnAlteredManifestOrAnotherKeysSignatureIsRefused) {
  ASSERT_TRUE(Sign());
  std::string manifest = testing::ReadFileBytes(Version() + "/SHA256SUMS");
  manifest[0] = manifest[0] == '0' ? '1' : '0';
  std::string error;
  const std::string signature = testing::ReadFileBytes(Version() + "/SHA256SUMS.sig");
  EXPECT_FALSE(SignedManifest::Verify(manifest, signature, key_, error));
  EXPECT_NE(error.find("not the vendor's signature"), std::string::npos);

  ASSERT_TRUE(Tool("new-key '" + keys_.Sub("stranger.pem") + "'"));
  ASSERT_TRUE(Sign("stranger.pem"));
  EXPECT_FALSE(Read(error).has_value());
}

TEST_F(SignedManifests, FetchedFromTheVersionFolderBeforeAnythingElse) {
  auto client = Connected("/v");
  std::optional<SignedManifest> manifest;
  std::string error;
  // No manifest: the folder is taken as it is.
  EXPECT_TRUE(FetchSignedManifest(*client, Local("work"), key_, manifest, error)) << error;
  EXPECT_FALSE(manifest.has_value());

  ASSERT_TRUE(Sign());
  EXPECT_TRUE(FetchSignedManifest(*client, Local("work"), key_, manifest, error)) << error;
  ASSERT_TRUE(manifest.has_value());
  EXPECT_EQ(manifest->size(), 2u);
  EXPECT_FALSE(testing::FileExists(Local("work/SHA256SUMS")));

  // A manifest whose signature is missing, or checked without a key, fails the version.
  std::filesystem::remove(FsPath(Version() + "/SHA256SUMS.sig"));
  EXPECT_FALSE(FetchSignedManifest(*client, Local("work"), key_, manifest, error));
  EXPECT_NE(error.find("has no SHA256SUMS.sig"), std::string::npos) << error;
  ASSERT_TRUE(Sign());
  EXPECT_FALSE(FetchSignedManifest(*client, Local("work"), "", manifest, error));
}

}  // namespace
}  // namespace quillmend

// Signed versions through the whole download pass: a version folder signed with the vendor's
// tool is installed; one altered after signing, or signed by another key, is not recorded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/file_names.h"
#include "startup/program_paths.h"
#include "update_clinic.h"

namespace quillmend::testing {
namespace {

const std::vector<PublishedFile> kVersion13 = {
    {"program", "Velmont.exe", std::string(3000, 'a') + "version 7.5.13"},
    {"system", "Grid.ocx", std::string(1500, 'g') + "grid 7.5.13"}};

const std::string kTool =
    std::string(QUILLMEND_TEST_SOURCE_DIR) + "/tools/sign-manifest/sign-manifest";

class SignedVersions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Run("new-key '" + keys_.Sub("vendor.pem") + "'", keys_.Sub("vendor.hex")), 0);
    ASSERT_EQ(Run("new-key '" + keys_.Sub("stranger.pem") + "'"), 0);
    clinic_.Publish("7.5.13", kVersion13);
    // The workstation trusts the vendor's key.
    WriteFileBytes(AgentSettingsFile(clinic_.state),
                   "[Update]\r\nManifestKey=" + ReadFileBytes(keys_.Sub("vendor.hex")));
  }
  int Run(const std::string& arguments, const std::string& out = "/dev/null") {
    return std::system((kTool + " " + arguments + " > '" + out + "' 2>/dev/null").c_str());
  }
  void Sign(const std::string& key) {
    ASSERT_EQ(Run("sign '" + clinic_.FtpRoot() + "/orvel/7.5.13' '" + keys_.Sub(key) + "'"), 0);
  }

  TempFolder keys_;
  UpdateClinic clinic_{{true, true, true}};
};

TEST_F(SignedVersions, AVersionSignedByTheVendorIsInstalled) {
  Sign("vendor.pem");
  clinic_.Serve();
  clinic_.runner->Down();
  EXPECT_EQ(clinic_.LastVersion(), "7.5.13");
  EXPECT_EQ(ReadFileBytes(clinic_.Program("Velmont.exe")), kVersion13[0].bytes);
}

TEST_F(SignedVersions, AFileAlteredAfterSigningFailsTheVersion) {
  Sign("vendor.pem");
  // A machine in the path swaps an archive: valid, but not the one the vendor signed.
  const std::string archive = clinic_.FtpRoot() + "/orvel/7.5.13/system/Grid.ocx.cab";
  WriteFileBytes(archive, ReadFileBytes(archive) + "x");
  clinic_.Serve();
  clinic_.runner->Down();
  EXPECT_EQ(clinic_.LastVersion(), "7.5.12");
  EXPECT_TRUE(clinic_.VersionFileRows().empty());
  EXPECT_FALSE(FileExists(clinic_.System("Grid.ocx")));
}

TEST_F(SignedVersions, AnotherKeysSignatureOrNoneFailsTheVersion) {
  Sign("stranger.pem");
  clinic_.Serve();
  clinic_.runner->Down();
  EXPECT_EQ(clinic_.LastVersion(), "7.5.12");
  EXPECT_FALSE(FileExists(clinic_.Program("Velmont.exe")));

  std::filesystem::remove(FsPath(clinic_.FtpRoot() + "/orvel/7.5.13/SHA256SUMS.sig"));
  clinic_.runner->Down();
  EXPECT_EQ(clinic_.LastVersion(), "7.5.12");
}

}  // namespace
}  // namespace quillmend::testing

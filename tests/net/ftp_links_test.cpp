// Symbolic links listed by real servers: typed by their targets, with the target's size, and
// links that lead back up the tree left out.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/ftp_fixture.h"
#include "platform/posix/ftp_links.h"

namespace quillmend {
namespace {

using testing::FtpServer;
using testing::FtpServerKind;

class FtpLinks : public ::testing::TestWithParam<FtpMode>, public FtpFixture {
 protected:
  void SetUp() override {
    if (!FtpServer::CanStart(GetParam().kind)) GTEST_SKIP() << "server not available here";
    ASSERT_TRUE(StartServer(GetParam())) << FtpServer::LastStartError();
  }
  void Link(const std::string& target, const std::string& link) {
    std::filesystem::create_symlink(target, FsPath(server().root() + "/" + link));
  }
};

TEST_P(FtpLinks, ALinkIsTypedAndSizedByItsTarget) {
  Serve("v1/program/real.cab", BinaryBytes(3000));
  Serve("v1/shared/inner.txt", "inner");
  Link("program/real.cab", "v1/alias.cab");
  Link("shared", "v1/folder-link");
  Link("nowhere.cab", "v1/dangling.cab");
  Link(".", "v1/here");
  Link("..", "v1/up");
  Link("/", "v1/top");
  server().Share();
  auto client = Connected("/v1");
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr) << client->GetLastErrorMessage();
  const cDirList& list = client->Directory();
  EXPECT_FALSE(list.Item("alias.cab").Directory);
  EXPECT_EQ(list.Item("alias.cab").FileSize, 3000);
  EXPECT_TRUE(list.Item("folder-link").Directory);
  EXPECT_FALSE(list.Item("dangling.cab").Directory);
  for (const cDirItem& item : list) {
    EXPECT_NE(item.Filename, "here");
    EXPECT_NE(item.Filename, "up");
    EXPECT_NE(item.Filename, "top");
  }
  // The probes left the server in the listed folder.
  EXPECT_EQ(client->GetFTPDirectory(), "/v1");

  const cDirItem& alias = list.Item("alias.cab");
  ASSERT_TRUE(client->FTPDownloadFile(Local("alias.cab"), "/v1/alias.cab", alias.FileSize))
      << client->GetLastErrorMessage();
  EXPECT_EQ(testing::ReadFileBytes(Local("alias.cab")), BinaryBytes(3000));
  EXPECT_FALSE(client->FTPDownloadFile(Local("dangling.cab"), "/v1/dangling.cab", 11));

  ASSERT_TRUE(client->SetFTPDirectory("/v1/folder-link/"));
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr) << client->GetLastErrorMessage();
  EXPECT_EQ(client->Directory().Item("inner.txt").FileSize, 5);
}

TEST(LinkTargets, OnlyTargetsAtOrAboveTheListedFolderLeadUpward) {
  using inet::posix::PointsUpward;
  EXPECT_TRUE(PointsUpward("/v1/program", "."));
  EXPECT_TRUE(PointsUpward("/v1/program", "../"));
  EXPECT_TRUE(PointsUpward("/v1/program", "/v1"));
  EXPECT_TRUE(PointsUpward("/v1/program", "./sub/../.."));
  EXPECT_FALSE(PointsUpward("/v1/program", "sub"));
  EXPECT_FALSE(PointsUpward("/v1/program", "../system"));
  EXPECT_FALSE(PointsUpward("/v1/program", "/v1/program2"));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpLinks,
                         ::testing::Values(FtpMode{FtpServerKind::kPyftpdlib, true},
                                           FtpMode{FtpServerKind::kVsftpd, false},
                                           FtpMode{FtpServerKind::kProftpd, true},
                                           FtpMode{FtpServerKind::kProftpd, false},
                                           FtpMode{FtpServerKind::kPureFtpd, true},
                                           FtpMode{FtpServerKind::kPureFtpd, false}),
                         ModeName);

}  // namespace
}  // namespace quillmend

// Resumed downloads: a transfer broken off by a dropped link is taken up where it stopped, by
// each real server, and a remote file that changed in between comes again whole; sizes and
// offsets past 32 bits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "net/ftp_fixture.h"

namespace quillmend {
namespace {

using testing::FtpServer;
using testing::FtpServerKind;

constexpr std::int64_t kSize = 100 * 1024;
constexpr std::int64_t kBrokenAt = 60 * 1024;  // 60 %

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(FsPath(path), error);
  return error ? 0 : size;
}

class ResumedDownloads : public ::testing::TestWithParam<FtpMode>, public FtpFixture {
 protected:
  void SetUp() override {
    if (!FtpServer::CanStart(FtpServerKind::kPyftpdlib) || !FtpServer::CanStart(GetParam().kind)) {
      GTEST_SKIP() << "server not available here";
    }
  }
  // Serves `bytes` as v/<name> through a link that drops after `limit` bytes, and lets one
  // download of it break there.
  void BreakDownload(const std::string& bytes, std::int64_t limit, const std::string& name) {
    ASSERT_TRUE(StartServer({FtpServerKind::kPyftpdlib, true},
                            {"retr-limit=" + std::to_string(limit)}))
        << FtpServer::LastStartError();
    if (!bytes.empty()) Serve("v/" + name, bytes);
    auto client = Connected();
    EXPECT_FALSE(client->FTPDownloadFile(Local(name), "/v/" + name,
                                         static_cast<std::int64_t>(SizeOf(server().root() +
                                                                          "/v/" + name))));
    EXPECT_FALSE(testing::FileExists(Local(name)));
  }
  // The same root served by the server under test.
  void ServeProperly() {
    ASSERT_TRUE(StartServer(GetParam())) << FtpServer::LastStartError();
  }
};

TEST_P(ResumedDownloads, ABreakAtSixtyPercentBringsOnlyTheRemainingFortyNextTime) {
  const std::string bytes = BinaryBytes(kSize);
  BreakDownload(bytes, kBrokenAt, "setup.cab");
  EXPECT_EQ(SizeOf(Local("setup.cab.qmdl")), static_cast<std::uintmax_t>(kBrokenAt));

  ServeProperly();
  auto client = Connected();
  state().bytes_counter_ = 0;
  ASSERT_TRUE(client->FTPDownloadFile(Local("setup.cab"), "/v/setup.cab", kSize))
      << client->GetLastErrorMessage();
  EXPECT_EQ(state().bytes_counter_, kSize - kBrokenAt);
  EXPECT_EQ(testing::ReadFileBytes(Local("setup.cab")), bytes);
  EXPECT_FALSE(testing::FileExists(Local("setup.cab.qmdl")));
  EXPECT_FALSE(testing::FileExists(Local("setup.cab.qmdl.id")));
  // The bar counts the kept bytes as done.
  EXPECT_EQ(Bar().value, static_cast<float>(kSize + 1));
}

TEST_P(ResumedDownloads, AFileChangedInBetweenComesWhole) {
  BreakDownload(BinaryBytes(kSize), kBrokenAt, "setup.cab");
  // Same size, new bytes, a later time.
  const std::string changed(kSize, 'n');
  testing::WriteFileBytes(server().root() + "/v/setup.cab", changed);
  const auto path = FsPath(server().root() + "/v/setup.cab");
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) +
                                             std::chrono::hours(1));
  ServeProperly();
  auto client = Connected();
  state().bytes_counter_ = 0;
  ASSERT_TRUE(client->FTPDownloadFile(Local("setup.cab"), "/v/setup.cab", kSize))
      << client->GetLastErrorMessage();
  EXPECT_EQ(state().bytes_counter_, kSize);
  EXPECT_EQ(testing::ReadFileBytes(Local("setup.cab")), changed);

  // A size that differs from the broken attempt's: whole as well.
  client.reset();
  BreakDownload(BinaryBytes(kSize), kBrokenAt, "other.cab");
  const std::string longer = BinaryBytes(kSize + 10);
  Serve("v/other.cab", longer);
  ServeProperly();
  client = Connected();
  state().bytes_counter_ = 0;
  ASSERT_TRUE(client->FTPDownloadFile(Local("other.cab"), "/v/other.cab", kSize + 10));
  EXPECT_EQ(state().bytes_counter_, kSize + 10);
  EXPECT_EQ(testing::ReadFileBytes(Local("other.cab")), longer);
}

// (Our backend only: Wine's WinINet clamps listed sizes to 2^31 - 1.)
TEST_P(ResumedDownloads, ListedSizesOfTwoGibibytesAndMoreKeepAllTheirBits) {
  // Sparse files: the sizes are real, the disk holds nothing.
  constexpr std::int64_t kThreeGiB = 3LL << 30;
  constexpr std::int64_t kFiveGB = 5000000000LL;
  ServeProperly();
  ServeFolder("big");
  for (const auto& [name, size] : {std::pair{"three.iso", kThreeGiB}, {"five.iso", kFiveGB}}) {
    testing::WriteFileBytes(server().root() + "/big/" + name, "");
    std::filesystem::resize_file(FsPath(server().root() + "/big/" + name),
                                 static_cast<std::uintmax_t>(size));
  }
  server().Share();
  auto client = Connected("/big");
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr) << client->GetLastErrorMessage();
  EXPECT_EQ(client->Directory().Item("three.iso").FileSize, kThreeGiB);
  EXPECT_EQ(client->Directory().Item("five.iso").FileSize, kFiveGB);
  EXPECT_EQ(client->GetFTPFileSize("five.iso"), kFiveGB);
}

TEST_P(ResumedDownloads, OffsetsBeyondFourGibibytes) {
  // A sparse remote file of 4 GiB + 1000 bytes whose last 1000 bytes are data.
  constexpr std::int64_t kFour = 4LL << 30;
  ASSERT_TRUE(StartServer({FtpServerKind::kPyftpdlib, true}, {"retr-limit=1024"}));
  ServeFolder("v");
  {
    std::ofstream big(FsPath(server().root() + "/v/big.iso"), std::ios::binary);
    big.seekp(kFour);
    const std::string tail = BinaryBytes(1000);
    big.write(tail.data(), static_cast<std::streamsize>(tail.size()));
  }
  server().Share();
  {
    auto client = Connected();
    EXPECT_FALSE(client->FTPDownloadFile(Local("big.iso"), "/v/big.iso", kFour + 1000));
  }
  // The zeros that come first are already here (a sparse partial, as the remote file is).
  ASSERT_EQ(SizeOf(Local("big.iso.qmdl")), 1024u);
  std::filesystem::resize_file(FsPath(Local("big.iso.qmdl")), static_cast<std::uintmax_t>(kFour));

  ServeProperly();
  auto client = Connected();
  state().bytes_counter_ = 0;
  ASSERT_TRUE(client->FTPDownloadFile(Local("big.iso"), "/v/big.iso", kFour + 1000))
      << client->GetLastErrorMessage();
  EXPECT_EQ(state().bytes_counter_, 1000);
  EXPECT_EQ(SizeOf(Local("big.iso")), static_cast<std::uintmax_t>(kFour + 1000));
  std::ifstream local(FsPath(Local("big.iso")), std::ios::binary);
  local.seekg(kFour);
  std::string tail(1000, '\0');
  local.read(tail.data(), 1000);
  EXPECT_EQ(tail, BinaryBytes(1000));
  EXPECT_EQ(Bar().value, static_cast<float>(kFour + 1));
}

INSTANTIATE_TEST_SUITE_P(Servers, ResumedDownloads,
                         ::testing::Values(FtpMode{FtpServerKind::kPyftpdlib, false},
                                           FtpMode{FtpServerKind::kVsftpd, true},
                                           FtpMode{FtpServerKind::kProftpd, false},
                                           FtpMode{FtpServerKind::kProftpd, true},
                                           FtpMode{FtpServerKind::kPureFtpd, true}),
                         ModeName);

}  // namespace
}  // namespace quillmend

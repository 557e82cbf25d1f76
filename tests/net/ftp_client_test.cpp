// The FTP client against real local servers (pyftpdlib, vsftpd, proftpd, pure-ftpd), active
// and passive. These run
// against every backend of the Internet session port.
#include <gtest/gtest.h>

#include <vector>

#include "net/ftp_fixture.h"
#include "platform/internet.h"

namespace quillmend {
namespace {

using testing::FtpServer;
using testing::FtpServerKind;

class FtpClient : public ::testing::TestWithParam<FtpMode>, public FtpFixture {
 protected:
  void SetUp() override {
    if (!FtpServer::CanStart(GetParam().kind)) GTEST_SKIP() << "server not available here";
    ASSERT_TRUE(StartServer(GetParam())) << FtpServer::LastStartError();
  }
};

TEST_P(FtpClient, ConnectsToTheStartFolderOrEntersTheFoldersAfterTheHost) {
  ServeFolder("update/v2");
  auto bare = Connected();
  EXPECT_EQ(bare->GetFTPDirectory(), "/");

  // The folders are requested below the reported start folder: "/" + "/update/v2".
  auto deep = Connected("/update/v2");
  EXPECT_EQ(deep->GetFTPDirectory(), "/update/v2");

  auto missing = Client();
  EXPECT_FALSE(missing->OpenConnection(server().host() + "/nowhere", server().port_text(),
                                       server().user(), server().password()));
  // 12003: the text is the server's own reply to the folder change.
  EXPECT_EQ(missing->GetLastErrorMessage().substr(0, 3), "550");
}

TEST_P(FtpClient, ConnectFailuresAreReportedWithTheirLabel) {
  auto client = Client();
  EXPECT_FALSE(client->OpenConnection("", server().port_text(), server().user(), "x"));
  EXPECT_EQ(client->GetLastErrorMessage().rfind("InternetConnect", 0), 0u);

  // A port nobody listens on.
  const testing::ClosedPort closed;
  EXPECT_FALSE(client->OpenConnection(server().host(), closed.port_text(), server().user(), "x"));
  EXPECT_EQ(client->GetLastErrorMessage().rfind("InternetConnect error code: 12029", 0), 0u)
      << client->GetLastErrorMessage();
  // After a failed connect, folder calls fail instead of touching an old connection.
  EXPECT_EQ(client->GetFTPDirectory(), "");
}

TEST_P(FtpClient, DownloadsWholeBlocksAndTheShortLastBlockWithTheBarValues) {
  Serve("two.bin", BinaryBytes(2048));
  Serve("short.bin", BinaryBytes(1000));
  Serve("odd.bin", BinaryBytes(5000));
  auto client = Connected();

  ASSERT_TRUE(client->FTPDownloadFile(Local("short.bin"), "short.bin", 1000));
  EXPECT_EQ(testing::ReadFileBytes(Local("short.bin")), BinaryBytes(1000));
  // No full block: the range is set, no value is written (a fresh bar stays at its minimum).
  EXPECT_EQ(Bar().min, 1.0f);
  EXPECT_EQ(Bar().max, 1000.0f);
  EXPECT_EQ(Bar().value, 1.0f);

  ASSERT_TRUE(client->FTPDownloadFile(Local("two.bin"), "two.bin", 2048))
      << client->GetLastErrorMessage();
  EXPECT_EQ(testing::ReadFileBytes(Local("two.bin")), BinaryBytes(2048));
  // Two full blocks: the count starts at the minimum of 1, and the maximum follows it.
  EXPECT_EQ(Bar().min, 1.0f);
  EXPECT_EQ(Bar().value, 2049.0f);
  EXPECT_EQ(Bar().max, 2049.0f);

  state().bytes_counter_ = 0;
  ASSERT_TRUE(client->FTPDownloadFile(Local("odd.bin"), "/odd.bin", 5000));
  EXPECT_EQ(testing::ReadFileBytes(Local("odd.bin")), BinaryBytes(5000));
  EXPECT_EQ(state().bytes_counter_, 5000);
  EXPECT_EQ(Bar().value, 4097.0f);
}

TEST_P(FtpClient, BinaryDataArrivesUnchangedAndReplacesAnOldLocalFile) {
  const std::string bytes = BinaryBytes(64 * 1024 + 17);
  Serve("data.cab", bytes);
  testing::WriteFileBytes(Local("data.cab"), std::string(100000, 'o'));
  auto client = Connected();
  ASSERT_TRUE(client->FTPDownloadFile(Local("data.cab"), "data.cab",
                                      static_cast<std::int32_t>(bytes.size())));
  EXPECT_EQ(testing::ReadFileBytes(Local("data.cab")), bytes);
}

TEST_P(FtpClient, RefusedDownloadsLeaveTheLocalSideAlone) {
  Serve("five.txt", "12345");
  auto client = Connected();
  const float bar_before = Bar().value;
  EXPECT_FALSE(client->FTPDownloadFile(Local("five.txt"), "five.txt", 0));
  EXPECT_FALSE(client->FTPDownloadFile("", "five.txt", 5));
  EXPECT_EQ(Bar().value, bar_before);
  EXPECT_FALSE(testing::FileExists(Local("five.txt")));

  testing::WriteFileBytes(Local("kept.txt"), "old");
  EXPECT_FALSE(client->FTPDownloadFile(Local("kept.txt"), "missing.txt", 10));
  EXPECT_EQ(client->GetLastErrorMessage().substr(0, 3), "550");
  EXPECT_EQ(testing::ReadFileBytes(Local("kept.txt")), "old");
  // The connection is still usable afterwards.
  EXPECT_TRUE(client->FTPDownloadFile(Local("five.txt"), "five.txt", 5));
}

TEST_P(FtpClient, ASizeThatDisagreesWithTheDataFailsWithoutAFile) {
  Serve("real.bin", BinaryBytes(3000));
  auto client = Connected();
  // Fewer bytes than announced: the data ends inside a full block, then inside the last one.
  EXPECT_FALSE(client->FTPDownloadFile(Local("a.bin"), "real.bin", 4096));
  EXPECT_FALSE(testing::FileExists(Local("a.bin")));
  EXPECT_FALSE(client->FTPDownloadFile(Local("b.bin"), "real.bin", 3010));
  EXPECT_FALSE(testing::FileExists(Local("b.bin")));
  // More bytes than announced.
  EXPECT_FALSE(client->FTPDownloadFile(Local("c.bin"), "real.bin", 2999));
  EXPECT_FALSE(testing::FileExists(Local("c.bin")));
  // The exact size still works on the same connection.
  EXPECT_TRUE(client->FTPDownloadFile(Local("d.bin"), "real.bin", 3000))
      << client->GetLastErrorMessage();
}

TEST_P(FtpClient, ListsFilesAndFoldersIntoDirectory) {
  Serve("v1/program/a.exe", "abc");
  Serve("v1/setup.cab", BinaryBytes(1500));
  ServeFolder("v1/system");
  ServeFolder("v1/empty");
  auto client = Connected("/v1");

  const cDirList* list = client->GetDirectoryListing("*.*");
  ASSERT_NE(list, nullptr) << client->GetLastErrorMessage();
  EXPECT_EQ(list, &client->Directory());
  int folders = 0;
  for (const cDirItem& item : client->Directory()) {
    if (item.Filename == "." || item.Filename == "..") continue;
    if (item.Directory) ++folders;
  }
  EXPECT_EQ(folders, 3);
  EXPECT_EQ(client->Directory().Item("SETUP.CAB").FileSize, 1500);
  EXPECT_FALSE(client->Directory().Item("setup.cab").Directory);
  EXPECT_TRUE(client->Directory().Item("program").Directory);
  EXPECT_GT(client->Directory().Item("setup.cab").LastWriteTime, 40000.0);  // after 2009

  EXPECT_EQ(client->GetFTPFileSize("setup.cab"), 1500);
  EXPECT_EQ(client->GetFTPFileSize("nothing.here"), -1) << client->GetLastErrorMessage();

  // An empty folder: no list, no error text, an empty Directory.
  const std::string before = client->GetLastErrorMessage();
  ASSERT_TRUE(client->SetFTPDirectory("empty"));
  EXPECT_EQ(client->GetDirectoryListing("*.*"), nullptr);
  EXPECT_EQ(client->Directory().Count(), 0);
  EXPECT_EQ(client->GetLastErrorMessage(), before);
}

TEST_P(FtpClient, SizesOfTwoGibibytesAndMoreKeepAllTheirBits) {
  // Sparse files: the sizes are real, the disk holds nothing.
  constexpr std::int64_t kThreeGiB = 3LL << 30;
  constexpr std::int64_t kFiveGB = 5000000000LL;
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

TEST_P(FtpClient, ListsAThousandEntries) {
  for (int i = 0; i < 1000; ++i) {
    Serve("many/f" + std::to_string(i) + ".dat", std::to_string(i), false);
  }
  server().Share();
  auto client = Connected("/many");
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr) << client->GetLastErrorMessage();
  int files = 0;
  for (const cDirItem& item : client->Directory()) files += item.Directory ? 0 : 1;
  EXPECT_EQ(files, 1000);
  EXPECT_EQ(client->Directory().Item("f999.dat").FileSize, 3);
}

TEST_P(FtpClient, ChangesTheServersFoldersAndFiles) {
  Serve("work/old.txt", "rename me");
  Serve("work/gone.txt", "delete me");
  auto client = Connected("/work");
  EXPECT_TRUE(client->CreateFTPDirectory("made"));
  EXPECT_TRUE(IsServed("work/made"));
  EXPECT_TRUE(client->RenameFTPFile("old.txt", "new.txt"));
  EXPECT_EQ(Served("work/new.txt"), "rename me");
  EXPECT_TRUE(client->DeleteFTPFile("gone.txt"));
  EXPECT_FALSE(IsServed("work/gone.txt"));
  EXPECT_TRUE(client->RemoveFTPDirectory("made"));
  EXPECT_FALSE(IsServed("work/made"));

  EXPECT_FALSE(client->DeleteFTPFile("gone.txt"));
  EXPECT_EQ(client->GetLastErrorMessage().substr(0, 3), "550");
  EXPECT_FALSE(client->SetFTPDirectory("nowhere"));
  EXPECT_EQ(client->GetLastErrorMessage().substr(0, 3), "550");
  // The last error text stays after later successes.
  EXPECT_TRUE(client->SetFTPDirectory("/work"));
  EXPECT_EQ(client->GetLastErrorMessage().substr(0, 3), "550");
}

TEST_P(FtpClient, UploadsInBlocksWithProgressAndFetchesWholeFiles) {
  ServeFolder("up");
  const std::string bytes = BinaryBytes(2500);
  testing::WriteFileBytes(Local("send.bin"), bytes);
  auto client = Connected("/up");
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;
  client->FileTransferProgress = [&](std::int32_t now, std::int32_t total) {
    progress.emplace_back(now, total);
  };
  std::string local = "  " + Local("send.bin") + " ";
  std::string remote = " sent.bin  ";
  ASSERT_TRUE(client->FTPUploadFile(local, remote)) << client->GetLastErrorMessage();
  EXPECT_EQ(remote, "sent.bin");
  EXPECT_EQ(Served("up/sent.bin"), bytes);
  const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {
      {1024, 2500}, {2048, 2500}, {2500, 2500}};
  EXPECT_EQ(progress, expected);

  ASSERT_TRUE(client->SimpleFTPPutFile(Local("send.bin"), "copy.bin"));
  EXPECT_EQ(Served("up/copy.bin"), bytes);
  ASSERT_TRUE(client->SimpleFTPGetFile(Local("back.bin"), "copy.bin"));
  EXPECT_EQ(testing::ReadFileBytes(Local("back.bin")), bytes);
  EXPECT_FALSE(client->SimpleFTPGetFile(Local("none.bin"), "none.bin"));
  EXPECT_FALSE(testing::FileExists(Local("none.bin")));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpClient,
                         ::testing::Values(FtpMode{FtpServerKind::kPyftpdlib, false},
                                           FtpMode{FtpServerKind::kPyftpdlib, true},
                                           FtpMode{FtpServerKind::kVsftpd, false},
                                           FtpMode{FtpServerKind::kVsftpd, true},
                                           FtpMode{FtpServerKind::kProftpd, false},
                                           FtpMode{FtpServerKind::kProftpd, true},
                                           FtpMode{FtpServerKind::kPureFtpd, false},
                                           FtpMode{FtpServerKind::kPureFtpd, true}),
                         ModeName);

}  // namespace
}  // namespace quillmend

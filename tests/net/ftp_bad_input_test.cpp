// Servers that misbehave, and names beyond plain ASCII: each fault ends in the client's
// failure outcome within the time limits, and nothing half-done is left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/ftp_fixture.h"

namespace quillmend {
namespace {

using testing::FtpServer;
using testing::FtpServerKind;

class FtpFaults : public ::testing::Test, public FtpFixture {
 protected:
  // A pyftpdlib server acting out `rules`.
  void Start(std::vector<std::string> rules, bool passive = true) {
    if (!FtpServer::CanStart(FtpServerKind::kPyftpdlib)) GTEST_SKIP() << "no pyftpdlib";
    ASSERT_TRUE(StartServer({FtpServerKind::kPyftpdlib, passive}, std::move(rules)))
        << FtpServer::LastStartError();
  }
  std::unique_ptr<cFTP> ShortClient() {
    auto client = Client();
    client->SetTimeouts(1000, 1000, 1000);
    return client;
  }
  bool Open(cFTP& client) {
    return client.OpenConnection(server().host(), server().port_text(), server().user(),
                                 server().password());
  }
  // A server that answers every LIST with these bytes.
  void StartListing(const std::string& listing) {
    testing::WriteFileBytes(lists_.Sub("list.txt"), listing);
    Start({"list-raw=" + lists_.Sub("list.txt")});
  }

 private:
  testing::TempFolder lists_;
};

TEST_F(FtpFaults, DroppedDataConnectionLeavesNoFileInAnyBlock) {
  Start({"retr-limit=1024"});
  Serve("big.bin", BinaryBytes(4096));
  Serve("tail.bin", BinaryBytes(1500));
  auto client = ShortClient();
  ASSERT_TRUE(Open(*client));
  testing::WriteFileBytes(Local("big.bin"), "an older copy");
  EXPECT_FALSE(client->FTPDownloadFile(Local("big.bin"), "big.bin", 4096));
  EXPECT_EQ(client->GetLastErrorMessage().substr(0, 3), "426");
  // The older copy stays whole: the download folder is the share other workstations copy from.
  EXPECT_EQ(testing::ReadFileBytes(Local("big.bin")), "an older copy");
  EXPECT_FALSE(testing::FileExists(Local("big.bin.qmdl")));
  // The drop inside the final short block: no partial file either.
  EXPECT_FALSE(client->FTPDownloadFile(Local("tail.bin"), "tail.bin", 1500));
  EXPECT_FALSE(testing::FileExists(Local("tail.bin")));
  EXPECT_FALSE(testing::FileExists(Local("tail.bin.qmdl")));
  // The control connection is still in step.
  EXPECT_EQ(client->GetFTPDirectory(), "/");
}

TEST_F(FtpFaults, SilentServerFailsTheConnectOnTime) {
  Start({"silent"});
  auto client = ShortClient();
  EXPECT_FALSE(Open(*client));
  EXPECT_EQ(client->GetLastErrorMessage().rfind("InternetConnect error code: 12002", 0), 0u)
      << client->GetLastErrorMessage();
}

TEST_F(FtpFaults, BrokenRepliesFailTheCommand) {
  Start({"silent-cmd=CWD", "close-mid-reply=PWD"});
  auto client = ShortClient();
  ASSERT_TRUE(Open(*client));
  EXPECT_FALSE(client->SetFTPDirectory("somewhere"));
  EXPECT_EQ(client->GetLastErrorMessage().rfind("FtpSetCurrentDirectory error code: 12002", 0),
            0u);
  // After a reply time-out the connection is not trusted any more.
  EXPECT_EQ(client->GetFTPDirectory(), "");

  ASSERT_TRUE(Open(*client));
  EXPECT_EQ(client->GetFTPDirectory(), "");
  EXPECT_EQ(client->GetLastErrorMessage().rfind("FtpGetCurrentDirectory error code: 12030", 0),
            0u)
      << client->GetLastErrorMessage();
}

TEST_F(FtpFaults, OverlongReplyLineIsRefused) {
  Start({"long-reply=PWD"});
  auto client = ShortClient();
  ASSERT_TRUE(Open(*client));
  // A 4000-character folder does not fit the folder buffer.
  EXPECT_EQ(client->GetFTPDirectory(), "");
  EXPECT_EQ(client->GetLastErrorMessage().rfind("FtpGetCurrentDirectory error code: 122", 0), 0u);
}

TEST_F(FtpFaults, RefusedActiveModeFailsTransfersWithTheServersReply) {
  Start({"refuse-port"}, false);
  Serve("a.txt", "abc");
  auto client = ShortClient();
  ASSERT_TRUE(Open(*client));
  EXPECT_FALSE(client->FTPDownloadFile(Local("a.txt"), "a.txt", 3));
  EXPECT_EQ(client->GetLastErrorMessage(), "500 Active mode refused here.\r\n");
  EXPECT_EQ(client->GetDirectoryListing("*.*"), nullptr);
  EXPECT_FALSE(testing::FileExists(Local("a.txt")));
}

TEST_F(FtpFaults, ListingsInAnUnknownFormatFail) {
  StartListing("type=file;size=3; a.txt\r\nsomething else\r\n");
  auto client = ShortClient();
  ASSERT_TRUE(Open(*client));
  EXPECT_EQ(client->GetDirectoryListing("*.*"), nullptr);
  EXPECT_EQ(client->GetLastErrorMessage().rfind("FtpFindFirstFile error code: 12004", 0), 0u);
  EXPECT_EQ(client->Directory().Count(), 0);
}

TEST_F(FtpFaults, ListedNamesThatLeaveTheFolderAreNotListed) {
  StartListing("-rw-r--r-- 1 0 0 3 Jan 01  2020 ok.txt\r\n"
               "-rw-r--r-- 1 0 0 3 Jan 01  2020 ../../evil.exe\r\n"
               "-rw-r--r-- 1 0 0 3 Jan 01  2020 ..\r\n"
               "-rw-r--r-- 1 0 0 3 Jan 01  2020 c:evil.dll\r\n"
               "-rw-r--r-- 1 0 0 3 Jan 01  2020 back\\slash.dll\r\n"
               "-rw-r--r-- 1 0 0 3 Jan 01  2020 dots...\r\n"
               "drwxr-xr-x 2 0 0 4096 Jan 01  2020 ..\r\n"
               "drwxr-xr-x 2 0 0 4096 Jan 01  2020 program\r\n");
  auto client = ShortClient();
  ASSERT_TRUE(Open(*client));
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr) << client->GetLastErrorMessage();
  std::vector<std::string> names;
  for (const cDirItem& item : client->Directory()) names.push_back(item.Filename);
  EXPECT_EQ(names, (std::vector<std::string>{"ok.txt", "..", "program"}));
  EXPECT_TRUE(client->Directory().Item("..").Directory);
}

TEST_F(FtpFaults, NamesWithBlanksAndHangulStayWhole) {
  Start({});
  const std::string name = "보고서 1  최종.cab";
  Serve("폴더/" + name, BinaryBytes(3000));
  auto client = ShortClient();
  ASSERT_TRUE(client->OpenConnection(server().host() + "/폴더", server().port_text(),
                                     server().user(), server().password()))
      << client->GetLastErrorMessage();
  EXPECT_EQ(client->GetFTPDirectory(), "/폴더");
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr);
  ASSERT_EQ(client->Directory().Count(), 1);
  EXPECT_EQ(client->Directory().Item(1).Filename, name);
  ASSERT_TRUE(client->FTPDownloadFile(Local(name), name, 3000)) << client->GetLastErrorMessage();
  EXPECT_EQ(testing::ReadFileBytes(Local(name)), BinaryBytes(3000));
}

TEST_F(FtpFaults, NamesCrossTheWireInCp949WhenTheServerOffersNoUtf8) {
  Start({"cp949"});
  Serve("폴더/보고서.txt", "abc");
  auto client = ShortClient();
  ASSERT_TRUE(client->OpenConnection(server().host() + "/폴더", server().port_text(),
                                     server().user(), server().password()))
      << client->GetLastErrorMessage();
  EXPECT_EQ(client->GetFTPDirectory(), "/폴더");
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr);
  EXPECT_EQ(client->Directory().Item(1).Filename, "보고서.txt");
  ASSERT_TRUE(client->FTPDownloadFile(Local("r.txt"), "보고서.txt", 3));
  EXPECT_EQ(testing::ReadFileBytes(Local("r.txt")), "abc");
  // A name with no CP949 form cannot be sent to such a server.
  EXPECT_FALSE(client->SetFTPDirectory("\xF0\x9F\x98\x80"));
  EXPECT_EQ(client->GetLastErrorMessage().rfind("FtpSetCurrentDirectory error code: 87", 0), 0u);
}

TEST_F(FtpFaults, TwoNamesDifferingInCaseFailTheListingWithTheEntriesBefore) {
  StartListing("-rw-r--r-- 1 0 0 3 Jan 01  2020 first.txt\r\n"
               "-rw-r--r-- 1 0 0 3 Jan 01  2020 Setup.cab\r\n"
               "-rw-r--r-- 1 0 0 3 Jan 01  2020 SETUP.CAB\r\n");
  auto client = ShortClient();
  ASSERT_TRUE(Open(*client));
  EXPECT_THROW(client->GetDirectoryListing("*.*"), DirListError);
  EXPECT_EQ(client->Directory().Count(), 2);
  // The listing's handle was closed: the connection takes the next command.
  EXPECT_EQ(client->GetFTPDirectory(), "/");
}

}  // namespace
}  // namespace quillmend

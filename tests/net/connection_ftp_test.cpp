// cConnection and cRemoteFile on real FTP servers started by the tests: connecting, the FTP
// operation guard, folder operations, enumeration, uploads in blocks, delete and rename.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <utility>

#include "net/c_connection.h"
#include "net/c_remote_file.h"
#include "net/status_texts.h"
#include "platform/file_names.h"
#include "startup/shared_state.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"
#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

using testing::FtpServer;
using testing::FtpServerKind;
using testing::FtpServerOptions;
using Events = std::vector<std::pair<std::int32_t, std::string>>;

const Events kStarted{{kStatusOperationStarted, ""}};
const Events kNotFtp{{kStatusOperationFailed, "Not an FTP session."}};

Events Then(Events first, const Events& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Events Repeated(const Events& events, int times) {
  Events all;
  for (int i = 0; i < times; ++i) all = Then(all, events);
  return all;
}

Events Failed(const std::string& text) { return Then(kStarted, {{kStatusOperationFailed, text}}); }
Events Succeeded() { return Then(kStarted, {{kStatusOperationSucceeded, ""}}); }

// Binary content with bare LFs and CRs, which a text-mode transfer would change.
std::string BinaryBytes(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return bytes;
}

struct Client {
  HeadlessHost host{{}, false};
  SharedState state;
  cConnection connection{state};
  cRemoteFile file;
  Events events;
  std::vector<std::int64_t> progress;

  Client() {
    host.SetPrintStateLines(false);
    state.ui_ = &host;
    const auto record = [this](std::int32_t status, const std::string& text) {
      events.emplace_back(status, text);
    };
    connection.StatusChanged = record;
    file.StatusChanged = record;
    file.ProgressChanged = [this](std::int64_t bytes) { progress.push_back(bytes); };
  }
  // Connects to the server and forgets the connect notification.
  [[nodiscard]] bool Connect(const FtpServer& server, int passive = 1) {
    connection.chkPassive = passive;
    connection.server_port_ = static_cast<std::uint16_t>(server.port());
    const bool connected =
        connection.CreateConnection(true, server.host(), server.user(), server.password());
    EXPECT_TRUE(connected) << connection.GetLastResponseInfo();
    EXPECT_EQ(events, (Events{{kStatusConnected, ""}}));
    events.clear();
    return connected;
  }
  Events Take() { return std::exchange(events, {}); }
};

class FtpPeer : public ::testing::Test {
 protected:
  virtual FtpServerKind Kind() const { return FtpServerKind::kPyftpdlib; }
  void SetUp() override {
    if (!FtpServer::CanStart(Kind())) GTEST_SKIP() << "this FTP server cannot run here";
    FtpServerOptions options;
    options.root = root_.path();
    server_ = FtpServer::Start(Kind(), options);
    ASSERT_NE(server_, nullptr) << FtpServer::LastStartError();
  }
  std::string Local(const std::string& relative) const { return root_.Sub(relative); }

  testing::TempFolder root_;
  testing::TempFolder local_;
  std::unique_ptr<FtpServer> server_;
};

TEST_F(FtpPeer, ConnectReconnectDisconnectAndARefusedLogin) {
  Client client;
  ASSERT_TRUE(client.Connect(*server_));
  EXPECT_TRUE(client.connection.Connected);
  EXPECT_TRUE(client.connection.FTPService);
  EXPECT_NE(client.connection.hInternet, nullptr);
  EXPECT_NE(client.connection.hConnection, nullptr);
  EXPECT_EQ(client.connection.ServerName, server_->host());
  EXPECT_EQ(client.connection.Username, server_->user());
  EXPECT_EQ(client.connection.Password, server_->password());
  EXPECT_EQ(client.connection.GetCurrentDirectory(), "/");
  EXPECT_EQ(client.Take(), (Events{{kStatusOperationSucceeded, ""}}));
  EXPECT_NE(client.connection.GetLastResponseInfo().find("257"), std::string::npos);

  // A second connect while connected disconnects first.
  ASSERT_TRUE(client.connection.CreateConnection(true, server_->host(), server_->user(),
                                                 server_->password()));
  EXPECT_EQ(client.Take(), (Events{{kStatusDisconnected, ""}, {kStatusConnected, ""}}));

  client.connection.Disconnect();
  EXPECT_EQ(client.Take(), (Events{{kStatusDisconnected, ""}}));
  EXPECT_FALSE(client.connection.Connected);
  EXPECT_EQ(client.connection.hConnection, nullptr);
  EXPECT_EQ(client.connection.hInternet, nullptr);

  Client refused;
  refused.connection.server_port_ = static_cast<std::uint16_t>(server_->port());
  EXPECT_FALSE(refused.connection.CreateConnection(true, server_->host(), server_->user(),
                                                   "wrong password"));
  EXPECT_EQ(refused.Take(), (Events{{kStatusDisconnected, ""},
                                    {kStatusConnectionFailed,
                                     "Unable to connect to the specified server."}}));
  EXPECT_FALSE(refused.connection.Connected);
  EXPECT_EQ(refused.connection.ServerName, "");
  EXPECT_EQ(refused.connection.Password, "");
}

TEST_F(FtpPeer, GuardRefusesSessionsWithoutFtpAndTouchesNothing) {
  testing::WriteFileBytes(Local("keep.txt"), "keep");
  testing::WriteFileBytes(local_.Sub("up.bin"), "data");

  Client plain;
  ASSERT_TRUE(plain.connection.CreateConnection(false, "", "", ""));
  EXPECT_EQ(plain.Take(), (Events{{kStatusConnected, ""}}));
  EXPECT_TRUE(plain.connection.Connected);
  EXPECT_FALSE(plain.connection.FTPService);
  EXPECT_NE(plain.connection.hInternet, nullptr);
  EXPECT_EQ(plain.connection.hConnection, nullptr);

  Client closed;
  ASSERT_TRUE(closed.Connect(*server_));
  closed.connection.Disconnect();
  closed.Take();

  for (Client* client : {&plain, &closed}) {
    std::vector<std::string> names{"old"};
    std::vector<std::int32_t> attributes{1};
    std::vector<std::int32_t> sizes{2};
    client->connection.SetNewDirectory("sub");
    EXPECT_FALSE(client->connection.CreateDirectory("made"));
    EXPECT_FALSE(client->connection.RemoveDirectory("sub"));
    EXPECT_FALSE(client->connection.EnumFiles(names, attributes, sizes));
    EXPECT_EQ(client->connection.GetCurrentDirectory(), "");
    client->file.RemoteFile = "keep.txt";
    client->file.DeleteFile(client->connection);
    client->file.RenameFile(client->connection, "renamed.txt");
    EXPECT_EQ(client->Take(), Repeated(kNotFtp, 7));
    // The collections are left as they were.
    EXPECT_EQ(names, std::vector<std::string>{"old"});
    EXPECT_EQ(sizes, std::vector<std::int32_t>{2});
  }
  EXPECT_FALSE(std::filesystem::exists(FsPath(Local("made"))));
  EXPECT_EQ(testing::ReadFileBytes(Local("keep.txt")), "keep");

  // An upload asks only whether the session is an FTP one.
  plain.file.RemoteFile = "up.bin";
  EXPECT_FALSE(plain.file.UploadFile(plain.connection, local_.Sub("up.bin")));
  EXPECT_EQ(plain.Take(), kNotFtp);
  // A closed FTP session has no connection left to create the file on.
  closed.file.RemoteFile = "up.bin";
  EXPECT_FALSE(closed.file.UploadFile(closed.connection, local_.Sub("up.bin")));
  EXPECT_EQ(closed.Take(), Failed("Unable to create the remote file."));
  EXPECT_FALSE(testing::FileExists(Local("up.bin")));
}

TEST_F(FtpPeer, FolderOperationsReportTheirOutcome) {
  Client client;
  ASSERT_TRUE(client.Connect(*server_));
  auto& connection = client.connection;

  EXPECT_FALSE(connection.CreateDirectory("sub"));
  EXPECT_EQ(client.Take(), Succeeded());
  EXPECT_TRUE(std::filesystem::is_directory(FsPath(Local("sub"))));
  EXPECT_FALSE(connection.CreateDirectory("sub"));
  EXPECT_EQ(client.Take(), Failed("Error while creating the new directory."));
  EXPECT_NE(connection.GetLastResponseInfo().find("550"), std::string::npos);

  connection.SetNewDirectory("sub");
  EXPECT_EQ(client.Take(), Succeeded());
  EXPECT_EQ(connection.GetCurrentDirectory(), "/sub");
  client.Take();
  connection.SetNewDirectory("no-such-folder");
  EXPECT_EQ(client.Take(), Failed("Error while moving to the new directory"));
  EXPECT_EQ(connection.GetCurrentDirectory(), "/sub");
  client.Take();

  connection.SetNewDirectory("/");
  client.Take();
  EXPECT_FALSE(connection.RemoveDirectory("sub"));
  EXPECT_EQ(client.Take(), Succeeded());
  EXPECT_FALSE(std::filesystem::exists(FsPath(Local("sub"))));
  EXPECT_FALSE(connection.RemoveDirectory("sub"));
  EXPECT_EQ(client.Take(), Failed("Error while deleteing the directory."));
}

TEST_F(FtpPeer, DeleteAndRenameLeaveRemoteFileAtItsOldName) {
  testing::WriteFileBytes(Local("a.txt"), "alpha");
  Client client;
  ASSERT_TRUE(client.Connect(*server_));

  client.file.RemoteFile = "a.txt";
  client.file.RenameFile(client.connection, "b.txt");
  EXPECT_EQ(client.Take(), Succeeded());
  EXPECT_EQ(client.file.RemoteFile, "a.txt");
  EXPECT_EQ(testing::ReadFileBytes(Local("b.txt")), "alpha");
  EXPECT_FALSE(testing::FileExists(Local("a.txt")));

  client.file.RenameFile(client.connection, "c.txt");
  EXPECT_EQ(client.Take(), Failed("Error while renaming the file."));
  client.file.DeleteFile(client.connection);
  EXPECT_EQ(client.Take(), Failed("Error while deleting the file."));

  client.file.RemoteFile = "b.txt";
  client.file.DeleteFile(client.connection);
  EXPECT_EQ(client.Take(), Succeeded());
  EXPECT_FALSE(testing::FileExists(Local("b.txt")));
}

TEST_F(FtpPeer, UploadsInBlocksWithProgressAndArriveByteForByte) {
  constexpr std::int64_t kBlock = cRemoteFile::kUploadBlock;
  struct Case {
    std::int64_t length;
    std::vector<std::int64_t> progress;
  };
  Client client;
  ASSERT_TRUE(client.Connect(*server_));
  int number = 0;
  for (const Case& c : {Case{0, {0}}, Case{kBlock, {kBlock}}, Case{kBlock + 1000, {kBlock, kBlock + 1000}},
                        Case{3 * kBlock + 5, {kBlock, 2 * kBlock, 3 * kBlock, 3 * kBlock + 5}},
                        Case{2 * kBlock, {kBlock, 2 * kBlock}}}) {
    const std::string name = "up" + std::to_string(++number) + ".bin";
    const std::string bytes = BinaryBytes(static_cast<size_t>(c.length));
    testing::WriteFileBytes(local_.Sub(name), bytes);
    client.file.RemoteFile = name;
    client.progress.clear();
    EXPECT_TRUE(client.file.UploadFile(client.connection, local_.Sub(name))) << c.length;
    EXPECT_EQ(client.Take(), Succeeded()) << c.length;
    EXPECT_EQ(client.progress, c.progress) << c.length;
    EXPECT_EQ(testing::ReadFileBytes(Local(name)), bytes) << c.length;
  }
}

TEST_F(FtpPeer, UploadOfAVanishingOrShrinkingFileOrIntoAMissingFolder) {
  testing::WriteFileBytes(Local("report.cab"), "the server's copy");
  Client client;
  ASSERT_TRUE(client.Connect(*server_));

  client.file.RemoteFile = "report.cab";
  EXPECT_THROW(client.file.UploadFile(client.connection, local_.Sub("gone.cab")), LocalFileError);
  EXPECT_THROW(client.file.UploadFile(client.connection, local_.path()), LocalFileError);
  EXPECT_EQ(client.Take(), Then(kStarted, kStarted));
  EXPECT_TRUE(client.progress.empty());
  EXPECT_EQ(testing::ReadFileBytes(Local("report.cab")), "the server's copy");

  // A file that shrinks while it is sent: the stale rest of the block is never sent as data.
  const std::string shrinking = local_.Sub("shrinking.bin");
  testing::WriteFileBytes(shrinking, BinaryBytes(2 * cRemoteFile::kUploadBlock + 10));
  client.file.RemoteFile = "shrinking.bin";
  client.file.ProgressChanged = [&](std::int64_t) {
    std::filesystem::resize_file(FsPath(shrinking), 1000);
  };
  EXPECT_FALSE(client.file.UploadFile(client.connection, shrinking));
  client.file.ProgressChanged = nullptr;
  EXPECT_EQ(client.Take(), Failed("Error while reading the local file."));
  EXPECT_EQ(testing::ReadFileBytes(Local("shrinking.bin")).size(),
            static_cast<size_t>(cRemoteFile::kUploadBlock));

  // The connection is still usable afterwards.
  testing::WriteFileBytes(local_.Sub("new.cab"), "new");
  client.file.RemoteFile = "no-such-folder/new.cab";
  EXPECT_FALSE(client.file.UploadFile(client.connection, local_.Sub("new.cab")));
  EXPECT_EQ(client.Take(), Failed("Unable to create the remote file."));
  client.file.RemoteFile = "new.cab";
  EXPECT_TRUE(client.file.UploadFile(client.connection, local_.Sub("new.cab")));
  EXPECT_EQ(testing::ReadFileBytes(Local("new.cab")), "new");
}

// Listing in passive and active mode, from pyftpdlib and from vsftpd.
struct ListingPeer {
  FtpServerKind kind;
  int passive;
};

class FtpEnumeration : public FtpPeer, public ::testing::WithParamInterface<ListingPeer> {
 protected:
  FtpServerKind Kind() const override { return GetParam().kind; }
};

TEST_P(FtpEnumeration, ThreeParallelCollectionsInTheServersOrder) {
  std::filesystem::create_directory(FsPath(Local("folder")));
  testing::WriteFileBytes(Local("readme.txt"), "twelve bytes");
  testing::WriteFileBytes(Local("setup.cab"), BinaryBytes(70000));
  std::filesystem::create_directory(FsPath(Local("empty")));
  server_->Share();

  Client client;
  ASSERT_TRUE(client.Connect(*server_, GetParam().passive));
  int ticks = 0;
  client.host.SetEventHook([&ticks] { ++ticks; });
  std::vector<std::string> names{"stale"};
  std::vector<std::int32_t> attributes{7, 8};
  std::vector<std::int32_t> sizes;
  EXPECT_FALSE(client.connection.EnumFiles(names, attributes, sizes));
  EXPECT_EQ(client.Take(), (Events{{kStatusOperationSucceeded, ""}}));
  ASSERT_EQ(names.size(), 4u);
  ASSERT_EQ(attributes.size(), 4u);
  ASSERT_EQ(sizes.size(), 4u);
  EXPECT_EQ(ticks, 4);  // the window worked between entries
  std::map<std::string, std::pair<std::int32_t, std::int32_t>> entries;
  for (size_t i = 0; i < names.size(); ++i) entries[names[i]] = {attributes[i], sizes[i]};
  EXPECT_EQ(entries.count("stale"), 0u);
  EXPECT_TRUE(entries["folder"].first & 0x10);
  EXPECT_TRUE(entries["empty"].first & 0x10);
  EXPECT_FALSE(entries["readme.txt"].first & 0x10);
  EXPECT_EQ(entries["readme.txt"].second, 12);
  EXPECT_EQ(entries["setup.cab"].second, 70000);

  client.connection.SetNewDirectory("empty");
  client.Take();
  EXPECT_FALSE(client.connection.EnumFiles(names, attributes, sizes));
  EXPECT_EQ(client.Take(), (Events{{kStatusOperationSucceeded, ""}}));
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(attributes.empty());
  EXPECT_TRUE(sizes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Peers, FtpEnumeration,
    ::testing::Values(ListingPeer{FtpServerKind::kPyftpdlib, 1},
                      ListingPeer{FtpServerKind::kPyftpdlib, 0},
                      ListingPeer{FtpServerKind::kVsftpd, 1}, ListingPeer{FtpServerKind::kVsftpd, 0}),
    [](const auto& param_info) {
      return std::string(param_info.param.kind == FtpServerKind::kVsftpd ? "Vsftpd" : "Pyftpdlib") +
             (param_info.param.passive == 1 ? "Passive" : "Active");
    });

TEST_F(FtpPeer, DisconnectFromAHandlerWhileEnumeratingEndsTheListingSafely) {
  for (const char* name : {"f1", "f2", "f3", "f4", "f5"}) testing::WriteFileBytes(Local(name), "x");
  Client client;
  ASSERT_TRUE(client.Connect(*server_));
  client.host.SetEventHook([&client] {
    if (client.connection.Connected) client.connection.Disconnect();
  });
  std::vector<std::string> names;
  std::vector<std::int32_t> attributes, sizes;
  client.connection.EnumFiles(names, attributes, sizes);
  EXPECT_EQ(names.size(), 1u);
  EXPECT_EQ(client.Take(), (Events{{kStatusDisconnected, ""},
                                   {kStatusOperationFailed,
                                    "Error while enumerating the remote files."}}));
}

}  // namespace
}  // namespace quillmend

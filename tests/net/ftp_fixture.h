// A cFTP client against a local server started by the test, in each server kind and data
// connection mode the test is instantiated for.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "net/c_ftp.h"
#include "platform/file_names.h"
#include "startup/shared_state.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"
#include "ui/frm_files.h"
#include "ui/headless/headless_host.h"

namespace quillmend {

struct FtpMode {
  testing::FtpServerKind kind;
  bool passive;
};

inline std::string ModeName(const ::testing::TestParamInfo<FtpMode>& info) {
  std::string name = testing::FtpServerName(info.param.kind);
  if (name == "pure-ftpd") name = "pureftpd";  // a test name holds no dash
  return name + (info.param.passive ? "_passive" : "_active");
}

class FtpFixture {
 public:
  // Starts the server over a fresh root folder; false (with the reason) when it cannot start.
  bool StartServer(const FtpMode& mode, std::vector<std::string> misbehave = {},
                   bool utf8_feat = true) {
    mode_ = mode;
    root_ = folder_.Sub("root");
    std::filesystem::create_directories(FsPath(root_));
    testing::FtpServerOptions options;
    options.root = root_;
    options.misbehave = std::move(misbehave);
    options.utf8_feat = utf8_feat;
    server_ = testing::FtpServer::Start(mode.kind, options);
    return server_ != nullptr;
  }

  // A client with a headless window (so the file bar is there) and short time limits.
  std::unique_ptr<cFTP> Client() {
    state_.ui_ = &host_;
    host_.SetPrintStateLines(false);
    if (!window_) window_ = std::make_unique<FrmFiles>(state_, host_);
    state_.frmFiles = window_.get();
    auto client = std::make_unique<cFTP>(state_);
    client->SetTimeouts(5000, 5000, 5000);
    if (mode_.passive) client->SetModePassive();
    return client;
  }

  // A connected client ("" or "/a/b" after the host).
  std::unique_ptr<cFTP> Connected(const std::string& folders = "") {
    auto client = Client();
    EXPECT_TRUE(client->OpenConnection(server_->host() + folders, server_->port_text(),
                                       server_->user(), server_->password()))
        << client->GetLastErrorMessage();
    return client;
  }

  // Writes a file below the served root ("a/b.bin") and lets the server read it (share
  // false: the caller shares once after writing many).
  void Serve(const std::string& relative, const std::string& bytes, bool share = true) {
    const std::filesystem::path path = FsPath(root_ + "/" + relative);
    std::filesystem::create_directories(path.parent_path());
    testing::WriteFileBytes(Utf8Path(path), bytes);
    if (share) server_->Share();
  }
  void ServeFolder(const std::string& relative) {
    std::filesystem::create_directories(FsPath(root_ + "/" + relative));
    server_->Share();
  }
  std::string Served(const std::string& relative) const {
    return testing::ReadFileBytes(root_ + "/" + relative);
  }
  bool IsServed(const std::string& relative) const {
    return std::filesystem::exists(FsPath(root_ + "/" + relative));
  }
  std::string Local(const std::string& name) const { return folder_.Sub(name); }

  ProgressBarControl& Bar() { return window_->prgFile; }
  SharedState& state() { return state_; }
  testing::FtpServer& server() { return *server_; }

 private:
  FtpMode mode_{};
  testing::TempFolder folder_;
  std::string root_;
  std::unique_ptr<testing::FtpServer> server_;
  HeadlessHost host_{{}, false};
  SharedState state_;
  std::unique_ptr<FrmFiles> window_;
};

// A test with a passive pyftpdlib server of its own; skipped where pyftpdlib cannot start.
class PyftpdlibTest : public ::testing::Test, public FtpFixture {
 protected:
  void SetUp() override {
    if (!testing::FtpServer::CanStartOwnServers()) GTEST_SKIP() << "pyftpdlib is not available";
    ASSERT_TRUE(StartServer({testing::FtpServerKind::kPyftpdlib, true}))
        << testing::FtpServer::LastStartError();
  }
};

// Bytes 0..255 repeated: every LF, CR and CRLF pair a line-end translation would touch.
inline std::string BinaryBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  const std::string line_ends = "a\nb\r\nc\n\n\r";
  for (std::size_t i = 0; i < line_ends.size() && i < size; ++i) bytes[i] = line_ends[i];
  return bytes;
}

}  // namespace quillmend

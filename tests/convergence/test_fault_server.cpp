// The suite's FTP server, fetched with curl: each fault shows as a client sees it, and clearing
// brings back the file as it is.
#include <gtest/gtest.h>

#include "child_process.h"
#include "clinic_sandbox.h"
#include "fault_server.h"
#include "support/program_bytes.h"
#include "support/temp_folder.h"

namespace quillmend::convergence {
namespace {

using testing::TempFolder;

class FaultServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = testing::ProgramLikeBytes(300000, 11);
    sandbox::WriteBytes(folder_.Sub("root/7.5.13/program/a.exe.cab"), bytes_);
    server_ = std::make_unique<FaultServer>(QM_FAULT_SERVER_SCRIPT, folder_.Sub("root"), "u", "p");
  }

  // curl's exit status and what it received (empty when nothing arrived), giving up after
  // max_seconds.
  std::pair<int, std::string> Fetch(int max_seconds = 10) {
    const std::string got = folder_.Sub("got.bin");
    std::remove(got.c_str());
    sandbox::ChildOptions quiet;
    quiet.stderr_file = "/dev/null";
    const int status = sandbox::RunProgram(
        {"curl", "-s", "--max-time", std::to_string(max_seconds), "-o", got,
         "ftp://u:p@127.0.0.1:" + server_->port() + "/7.5.13/program/a.exe.cab"},
        quiet);
    return {status, testing::FileExists(got) ? sandbox::ReadBytes(got) : std::string()};
  }

  TempFolder folder_;
  std::string bytes_;
  std::unique_ptr<FaultServer> server_;
};

TEST_F(FaultServerTest, DamageKeepsTheSizeShortAndCutDeliverLessAndClearRestores) {
  server_->Command("damage 7.5.13/program/a.exe.cab");
  auto [status, got] = Fetch();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(got.size(), bytes_.size());
  EXPECT_NE(got, bytes_);

  server_->Heal();
  server_->Command("cut a.exe.cab 1000");
  std::tie(status, got) = Fetch();
  EXPECT_NE(status, 0);
  EXPECT_EQ(got, bytes_.substr(0, 1000));

  server_->Heal();
  server_->Command("short a.exe.cab 5000");
  std::tie(status, got) = Fetch();
  EXPECT_EQ(got, bytes_.substr(0, 5000));

  server_->Heal();
  std::tie(status, got) = Fetch();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(got, bytes_);
}

TEST_F(FaultServerTest, AStoppedServerRefusesAndServesAgainOnTheSamePortAndBadCommandsAreRefused) {
  server_->Command("stop");
  EXPECT_EQ(Fetch().first, 7) << "curl: failed to connect";
  server_->Command("start");
  EXPECT_EQ(Fetch().second, bytes_);
  server_->Command("silent on");
  EXPECT_EQ(Fetch(1).first, 28) << "curl: no greeting before its time limit";
  server_->Heal();
  EXPECT_EQ(Fetch().second, bytes_);
  EXPECT_THROW(server_->Command("explode"), std::runtime_error);
  EXPECT_THROW(server_->Command("cut a.exe.cab many"), std::runtime_error);
}

}  // namespace
}  // namespace quillmend::convergence

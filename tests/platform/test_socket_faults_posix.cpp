// The POSIX FTP backend's socket calls failing in turn under a whole download: every failure
// ends the download with an error within the time limits and leaves no file, partial or
// temporary, behind; the run without a failure brings the file byte for byte.
#include <gtest/gtest.h>

#include "net/ftp_fixture.h"
#include "support/fault_sweep.h"
#include "support/program_bytes.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

class SocketFaults : public PyftpdlibTest {};

TEST_F(SocketFaults, ARefusedConnectIsAConnectionErrorAndTheNextConnectWorks) {
  {
    ScopedFaults faults({FaultRule{FaultOperation::kConnect, "*", FaultError::kTimedOut}});
    auto client = Client();
    EXPECT_FALSE(client->OpenConnection(server().host(), server().port_text(), server().user(),
                                        server().password()));
    EXPECT_NE(client->GetLastErrorMessage().find("12002"), std::string::npos)
        << client->GetLastErrorMessage();
  }
  auto client = Connected();
  EXPECT_EQ(client->GetFTPDirectory(), "/");
}

TEST_F(SocketFaults, EachFailingSocketCallEndsTheDownloadWithoutAFile) {
  const std::string bytes = ProgramLikeBytes(150 * 1024 + 3, 9);
  Serve("Velmont.exe.cab", bytes);
  const std::string local = Local("Velmont.exe.cab");
  FaultSweep sweep;
  sweep.operations = {FaultOperation::kConnect, FaultOperation::kSend, FaultOperation::kRecv};
  sweep.error = FaultError::kConnectionReset;
  sweep.prepare = [&] {
    for (const char* suffix : {"", ".qmdl", ".qmdl.id"}) {
      std::filesystem::remove(FsPath(local + suffix));
    }
  };
  sweep.run = [&](std::string* error) {
    auto client = Client();
    client->SetTimeouts(3000, 3000, 3000);
    const bool ok = client->OpenConnection(server().host(), server().port_text(),
                                           server().user(), server().password()) &&
                    client->FTPDownloadFile(local, "Velmont.exe.cab",
                                            static_cast<std::int32_t>(bytes.size()));
    *error = client->GetLastErrorMessage();
    return ok;
  };
  sweep.check = [&](const FaultRun& run) {
    if (run.succeeded) {
      EXPECT_EQ(ReadFileBytes(local), bytes);
    } else {
      EXPECT_TRUE(run.injected);
      EXPECT_FALSE(FileExists(local));
      EXPECT_FALSE(run.error.empty());
    }
    // A connection broken mid-file may leave what arrived beside the target for the next
    // attempt: only ever a true beginning of the file.
    if (FileExists(local + ".qmdl")) {
      EXPECT_FALSE(run.succeeded);
      const std::string partial = ReadFileBytes(local + ".qmdl");
      EXPECT_EQ(partial, bytes.substr(0, partial.size()));
    }
  };
  // Control and data connects, the commands, the replies and the data reads.
  EXPECT_GE(RunFaultSweep(sweep), 10u);
}

}  // namespace
}  // namespace quillmend

// The download's local file under faults: every failing create, write, flush or rename of it
// ends the download with a local-file error, keeps the earlier copy at the target whole (other
// workstations copy from the download folder) and leaves no partial file behind.
#include <gtest/gtest.h>

#include "net/ftp_fixture.h"
#include "support/fault_sweep.h"
#include "support/program_bytes.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

class DownloadLocalFaults : public PyftpdlibTest {};

TEST_F(DownloadLocalFaults, EachFailingLocalCallIsALocalFileErrorAndLeavesNoFile) {
  const std::string bytes = ProgramLikeBytes(3 * 1024 * 1024 + 5, 2);  // several 1 MiB writes
  Serve("Velmont.exe.cab", bytes);
  const std::string local = Local("Velmont.exe.cab");
  auto client = Connected();
  FaultSweep sweep;
  sweep.operations = {FaultOperation::kOpen, FaultOperation::kWrite, FaultOperation::kFlush,
                      FaultOperation::kRename};
  sweep.path_pattern = "*Velmont.exe.cab*";
  sweep.prepare = [&] { WriteFileBytes(local, "an earlier, stale download"); };
  sweep.run = [&](std::string* error) {
    const bool ok = client->FTPDownloadFile(local, "Velmont.exe.cab",
                                            static_cast<std::int32_t>(bytes.size()));
    *error = client->GetLastErrorMessage();
    return ok;
  };
  sweep.check = [&](const FaultRun& run) {
    if (run.succeeded) {
      EXPECT_EQ(ReadFileBytes(local), bytes);
    } else {
      EXPECT_TRUE(run.injected);
      EXPECT_EQ(ReadFileBytes(local), "an earlier, stale download");
      EXPECT_NE(run.error.find(" local file: "), std::string::npos) << run.error;
    }
    EXPECT_FALSE(FileExists(local + ".qmdl"));
    EXPECT_FALSE(FileExists(local + ".qmdl.id"));
  };
  EXPECT_GE(RunFaultSweep(sweep), 6u);
}

}  // namespace
}  // namespace quillmend

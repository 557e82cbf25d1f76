// CAB expansion with each of its file operations failing in turn (libmspack's own opens and
// writes go through the system-call table): an earlier expanded file stays whole, no temporary
// file is left, and the error names the system's reason.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "cab_fixtures.h"
#include "platform/cab_expand.h"
#include "support/fault_sweep.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

const CommandRunner kNoRunner = [](const std::string&) { FAIL() << "no external tool expected"; };

TEST(ExpansionFaults, EachFailingCallKeepsTheEarlierExpandedFile) {
  TempFolder temp;
  std::filesystem::create_directories(temp.Sub("src"));
  std::filesystem::create_directories(temp.Sub("download/program"));
  const std::string payload = ProgramLikeBytes(300 * 1024 + 11, 5);
  WriteFileBytes(temp.Sub("src/Velmont.exe"), payload);
  const std::string archive = temp.Sub("download/program/Velmont.exe.cab");
  MakeCab(archive, {temp.Sub("src/Velmont.exe")});
  const std::string archive_bytes = ReadFileBytes(archive);
  const std::string expanded = temp.Sub("download/program/Velmont.exe");

  FaultSweep sweep;
  sweep.operations = {FaultOperation::kOpen, FaultOperation::kWrite, FaultOperation::kRename,
                      FaultOperation::kSetTime, FaultOperation::kRemove};
  sweep.prepare = [&] { WriteFileBytes(expanded, "expanded by an earlier pass"); };
  sweep.run = [&](std::string* error) {
    return ExpandSingleFileCabinet(archive, expanded, kNoRunner, error);
  };
  std::uint64_t named_reasons = 0;
  sweep.check = [&](const FaultRun& run) {
    if (run.succeeded) {
      EXPECT_EQ(ReadFileBytes(expanded), payload);
    } else {
      EXPECT_TRUE(run.injected) << run.error;
      EXPECT_EQ(ReadFileBytes(expanded), "expanded by an earlier pass");
      EXPECT_EQ(run.error.rfind(archive + ": ", 0), 0u) << run.error;
      if (run.error.find(std::strerror(ENOSPC)) != std::string::npos) ++named_reasons;
    }
    EXPECT_FALSE(FileExists(ExpansionTempPath(expanded)));
    EXPECT_EQ(ReadFileBytes(archive), archive_bytes);
  };
  // The archive's open, the temporary file's open, its writes, the time and the rename.
  EXPECT_GE(RunFaultSweep(sweep), 5u);
  EXPECT_GE(named_reasons, 3u);  // the opens and the writes name "No space left on device"
}

}  // namespace
}  // namespace quillmend

// Every file operation of atomic placement and of the settings writer failing in turn: each
// failure leaves the old file whole (or no file where there was none), no temporary file, and
// an error that says what failed; the run without a failure leaves the new file.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "startup/profile_file.h"
#include "support/fault_sweep.h"
#include "support/program_bytes.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

const std::vector<FaultOperation> kFileOperations = {
    FaultOperation::kOpen,   FaultOperation::kWrite,   FaultOperation::kFlush,
    FaultOperation::kRename, FaultOperation::kSetTime, FaultOperation::kRemove};

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(folder))) {
    names.push_back(Utf8Path(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

class PlacementFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(FsPath(temp_.Sub("staged")));
    std::filesystem::create_directories(FsPath(temp_.Sub("Orvel")));
    source_ = temp_.Sub("staged/Velmont.exe");
    target_ = temp_.Sub("Orvel/Velmont.exe");
    // More than one copy buffer, so that the copy takes several writes.
    new_bytes_ = ProgramLikeBytes(2 * 1024 * 1024 + 5, 3);
    WriteFileBytes(source_, new_bytes_);
  }

  std::uint64_t Sweep(bool with_old_target) {
    FaultSweep sweep;
    sweep.operations = kFileOperations;
    sweep.prepare = [&] {
      RemoveTarget();
      if (with_old_target) WriteFileBytes(target_, "the old program");
    };
    sweep.run = [&](std::string* error) {
      try {
        ReplaceFileAtomically(source_, target_);
        return true;
      } catch (const FilePlacementError& e) {
        *error = e.what();
        return false;
      }
    };
    sweep.check = [&](const FaultRun& run) {
      if (run.succeeded) {
        EXPECT_EQ(ReadFileBytes(target_), new_bytes_);
        EXPECT_EQ(LastModifiedStamp(target_), LastModifiedStamp(source_));
      } else {
        EXPECT_TRUE(run.injected) << run.error;
        if (with_old_target) {
          EXPECT_EQ(ReadFileBytes(target_), "the old program");
        } else {
          EXPECT_FALSE(FileExists(target_));
        }
        // The error names the file concerned.
        EXPECT_TRUE(run.error.find(target_) != std::string::npos ||
                    run.error.find(source_) != std::string::npos ||
                    run.error.find(PlacementTempPath(target_)) != std::string::npos)
            << run.error;
      }
      // Never a temporary file left beside the target, and the source untouched.
      EXPECT_EQ(FolderEntries(temp_.Sub("Orvel")),
                with_old_target || run.succeeded ? std::vector<std::string>{"Velmont.exe"}
                                                 : std::vector<std::string>{});
      EXPECT_EQ(ReadFileBytes(source_), new_bytes_);
    };
    return RunFaultSweep(sweep);
  }

  void RemoveTarget() {
    std::error_code ignored;
    std::filesystem::remove(FsPath(target_), ignored);
  }

  TempFolder temp_;
  std::string source_, target_, new_bytes_;
};

// At the least the opening (or copying) of the temporary file, a write, the flush and the
// rename fail once each.
TEST_F(PlacementFaults, EachFailingCallKeepsTheOldTarget) { EXPECT_GE(Sweep(true), 4u); }

TEST_F(PlacementFaults, EachFailingCallLeavesNoTargetWhereThereWasNone) {
  EXPECT_GE(Sweep(false), 4u);
}

TEST(SettingsWriterFaults, EachFailingCallKeepsTheSettingsFileAsItWas) {
  TempFolder temp;
  const std::string file = temp.Sub("ORVEL_H.ini");
  const std::string before = "[DB]\r\nServer=clinic\r\n[Version]\r\nLast=7.5.12\r\n";
  FaultSweep sweep;
  sweep.operations = kFileOperations;
  sweep.error = FaultError::kReadOnly;
  sweep.prepare = [&] { WriteFileBytes(file, before); };
  sweep.run = [&](std::string*) { return WriteProfileValue(file, "Version", "Last", "7.5.13"); };
  sweep.check = [&](const FaultRun& run) {
    if (run.succeeded) {
      EXPECT_EQ(ReadFileBytes(file), "[DB]\r\nServer=clinic\r\n[Version]\r\nLast=7.5.13\r\n");
    } else {
      EXPECT_TRUE(run.injected);
      EXPECT_EQ(ReadFileBytes(file), before);
    }
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"ORVEL_H.ini"});
    EXPECT_EQ(ReadProfileValue(file, "DB", "Server", ""), "clinic");
  };
  // create, write, flush, rename
  EXPECT_GE(RunFaultSweep(sweep), 4u);
}

}  // namespace
}  // namespace quillmend

// In-process CAB expansion against archives made by gcab: intact, damaged, truncated, with the
// wrong number of files, without checksums, and onto a full disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <filesystem>

#include "cab_fixtures.h"
#include "platform/cab_expand.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

const CommandRunner kNoRunner = [](const std::string&) { FAIL() << "no external tool expected"; };

class CabExpandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    payload_ = ProgramLikeBytes(3 * 1024 * 1024 + 77, 7);
    source_ = temp_.Sub("src/Velmont.exe");
    std::filesystem::create_directories(temp_.Sub("src"));
    WriteFileBytes(source_, payload_);
    archive_ = temp_.Sub("Velmont.exe.cab");
    MakeCab(archive_, {source_});
    expanded_ = temp_.Sub("Velmont.exe");
  }

  bool Expand(std::string* error = nullptr) {
    std::string ignored;
    return ExpandSingleFileCabinet(archive_, expanded_, kNoRunner, error ? error : &ignored);
  }

  // Nothing of a failed expansion may be left: neither the file nor its temporary file.
  void ExpectNothingExpanded() {
    EXPECT_FALSE(FileExists(expanded_));
    EXPECT_FALSE(FileExists(ExpansionTempPath(expanded_)));
  }

  TempFolder temp_;
  std::string payload_, source_, archive_, expanded_;
};

TEST_F(CabExpandTest, ExpandsTheOneFileByteForByteWithItsStoredTime) {
  // gcab stores the file's local modification time with two-second resolution.
  std::tm when{};
  when.tm_year = 121, when.tm_mon = 2, when.tm_mday = 4, when.tm_hour = 9, when.tm_min = 30;
  when.tm_sec = 24, when.tm_isdst = -1;
  const std::time_t stamp = std::mktime(&when);
  const utimbuf times{stamp, stamp};
  ASSERT_EQ(utime(source_.c_str(), &times), 0);
  MakeCab(archive_, {source_});

  std::string error;
  ASSERT_TRUE(Expand(&error)) << error;
  EXPECT_EQ(ReadFileBytes(expanded_), payload_);
  struct stat info {};
  ASSERT_EQ(stat(expanded_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, stamp);
  EXPECT_FALSE(FileExists(ExpansionTempPath(expanded_)));
}

TEST_F(CabExpandTest, AFlippedBitInAnyBlockLeavesNoFile) {
  const std::string intact = ReadFileBytes(archive_);
  const std::vector<size_t> blocks = DataBlockOffsets(intact);
  ASSERT_GT(blocks.size(), 2u);
  for (size_t block : {blocks.front(), blocks[blocks.size() / 2], blocks.back()}) {
    std::string damaged = intact;
    damaged[block + 8 + 20] ^= 0x10;  // inside the compressed data
    WriteFileBytes(archive_, damaged);
    std::string error;
    EXPECT_FALSE(Expand(&error)) << "block at " << block;
    EXPECT_NE(error.find("checksum"), std::string::npos) << error;
    ExpectNothingExpanded();
  }
}

TEST_F(CabExpandTest, AFailedExpansionKeepsTheFileThatWasThere) {
  WriteFileBytes(expanded_, "previous content");
  std::string damaged = ReadFileBytes(archive_);
  damaged[DataBlockOffsets(damaged).back() + 12] ^= 0x01;
  WriteFileBytes(archive_, damaged);
  EXPECT_FALSE(Expand());
  EXPECT_EQ(ReadFileBytes(expanded_), "previous content");
}

TEST_F(CabExpandTest, TruncatedArchivesAreRefused) {
  const std::string intact = ReadFileBytes(archive_);
  for (size_t keep : {size_t{0}, size_t{20}, size_t{60}, intact.size() / 2, intact.size() - 1}) {
    WriteFileBytes(archive_, intact.substr(0, keep));
    EXPECT_FALSE(Expand()) << "kept " << keep << " bytes";
    ExpectNothingExpanded();
  }
}

TEST_F(CabExpandTest, OnlyArchivesHoldingExactlyOneFileExpand) {
  const std::string second = temp_.Sub("src/Other.dll");
  WriteFileBytes(second, ProgramLikeBytes(5000, 3));
  MakeCab(archive_, {source_, second});
  std::string error;
  EXPECT_FALSE(Expand(&error));
  EXPECT_NE(error.find("2 files"), std::string::npos) << error;
  ExpectNothingExpanded();

  // No file at all: the header of a one-file archive with its file count set to zero.
  MakeCab(archive_, {source_});
  std::string none = ReadFileBytes(archive_);
  none[28] = 0;
  none[29] = 0;
  WriteFileBytes(archive_, none);
  EXPECT_FALSE(Expand());
  ExpectNothingExpanded();
}

TEST_F(CabExpandTest, BlocksWithoutChecksumsExpandUnverified) {
  std::string unchecked = ReadFileBytes(archive_);
  for (size_t block : DataBlockOffsets(unchecked)) {
    for (int i = 0; i < 4; ++i) unchecked[block + i] = 0;
  }
  WriteFileBytes(archive_, unchecked);
  std::string error;
  ASSERT_TRUE(Expand(&error)) << error;
  EXPECT_EQ(ReadFileBytes(expanded_), payload_);
}

TEST_F(CabExpandTest, AFullDiskLeavesNoPartialFile) {
  const std::string mount_point = temp_.Sub("small");
  std::filesystem::create_directories(mount_point);
  if (RunShell("mount -t tmpfs -o size=1m tmpfs '" + mount_point + "' 2>/dev/null") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  expanded_ = mount_point + "/Velmont.exe";
  std::string error;
  EXPECT_FALSE(Expand(&error));
  EXPECT_FALSE(error.empty());
  ExpectNothingExpanded();
  RunShell("umount '" + mount_point + "'");
}

}  // namespace
}  // namespace quillmend

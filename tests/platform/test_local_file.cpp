// The local-file writer port: what each call leaves on disk and how it fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "platform/local_file.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

TEST(LocalFile, WritesReplaceAnEarlierFileAndPiecesFollowEachOther) {
  TempFolder temp;
  const std::string path = temp.Sub("한글 이름.ini");
  WriteFileBytes(path, "an older and much longer content");
  LocalFileWriter out;
  ASSERT_TRUE(out.Create(path));
  EXPECT_TRUE(out.IsOpen());
  EXPECT_EQ(ReadFileBytes(path), "");  // emptied at once
  ASSERT_TRUE(out.Write("[Version]\r\n", 11));
  ASSERT_TRUE(out.Write("Last=7.5.13\r\n", 13));
  ASSERT_TRUE(out.Flush());
  ASSERT_TRUE(out.Close());
  EXPECT_FALSE(out.IsOpen());
  EXPECT_TRUE(out.Close());  // closing twice is harmless
  EXPECT_EQ(ReadFileBytes(path), "[Version]\r\nLast=7.5.13\r\n");

  // A writer reused for another file closes the first one.
  LocalFileWriter again;
  ASSERT_TRUE(again.Create(temp.Sub("one")));
  ASSERT_TRUE(again.Write("1", 1));
  ASSERT_TRUE(again.Create(temp.Sub("two")));
  ASSERT_TRUE(again.Write("2", 1));
  ASSERT_TRUE(again.Close());
  EXPECT_EQ(ReadFileBytes(temp.Sub("one")), "1");
  EXPECT_EQ(ReadFileBytes(temp.Sub("two")), "2");
}

TEST(LocalFile, FailuresNameTheOperationAndThePath) {
  TempFolder temp;
  const std::string missing = temp.Sub("no such folder/a.tmp");
  LocalFileWriter out;
  std::string error;
  EXPECT_FALSE(out.Create(missing, &error));
  EXPECT_NE(error.find("cannot create " + missing), std::string::npos) << error;
  EXPECT_FALSE(out.IsOpen());
  EXPECT_FALSE(out.Write("x", 1, &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_FALSE(out.Flush(&error));

  EXPECT_FALSE(RenameLocalFile(temp.Sub("absent"), temp.Sub("b"), &error));
  EXPECT_NE(error.find("cannot rename " + temp.Sub("absent")), std::string::npos) << error;
  EXPECT_FALSE(SetLocalFileTime(temp.Sub("absent"), 0, &error));
  EXPECT_NE(error.find("cannot set the time of " + temp.Sub("absent")), std::string::npos);
}

TEST(LocalFile, RenameReplacesRemoveToleratesAbsenceAndTimesComeBackExactly) {
  TempFolder temp;
  WriteFileBytes(temp.Sub("new"), "new");
  WriteFileBytes(temp.Sub("old"), "old");
  ASSERT_TRUE(RenameLocalFile(temp.Sub("new"), temp.Sub("old")));
  EXPECT_EQ(ReadFileBytes(temp.Sub("old")), "new");
  EXPECT_FALSE(FileExists(temp.Sub("new")));

  EXPECT_TRUE(RemoveLocalFile(temp.Sub("old")));
  EXPECT_FALSE(FileExists(temp.Sub("old")));
  EXPECT_TRUE(RemoveLocalFile(temp.Sub("old")));  // already gone
  std::string error;
  std::filesystem::create_directories(FsPath(temp.Sub("folder")));
  EXPECT_FALSE(RemoveLocalFile(temp.Sub("folder"), &error));  // not a file
  EXPECT_NE(error.find("cannot remove"), std::string::npos) << error;

  // The time of another file, in the stamp's own resolution, is taken over exactly.
  WriteFileBytes(temp.Sub("a"), "a");
  WriteFileBytes(temp.Sub("b"), "b");
  const std::string a = temp.Sub("a");
  ASSERT_TRUE(SetLocalFileTime(a, *LastModifiedStamp(a) - 123456789, nullptr));
  const std::int64_t stamp = *LastModifiedStamp(a);
  ASSERT_TRUE(SetLocalFileTime(temp.Sub("b"), stamp));
  EXPECT_EQ(LastModifiedStamp(temp.Sub("b")), stamp);
}

}  // namespace
}  // namespace quillmend

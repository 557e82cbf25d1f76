// Folder creation, case-insensitive names, and the CP949 boundary.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/codepage.h"
#include "platform/file_names.h"
#include "startup/folders.h"
#include "startup/program_paths.h"
#include "base/text.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using testing::FileExists;
using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteFileBytes;

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(FsPath(path), ec);
}

TEST(EnsureFolderPath, CreatesEveryMissingFolderAndLeavesExistingOnes) {
  TempFolder dir;
  WriteFileBytes(dir.Sub("X/keep.txt"), "k");
  EnsureFolderPath(dir.Sub("X/Y/Z") + PathSeparator());
  EXPECT_TRUE(IsFolder(dir.Sub("X/Y/Z")));
  EXPECT_EQ(ReadFileBytes(dir.Sub("X/keep.txt")), "k");
  EnsureFolderPath(dir.Sub("X/Y/Z"));  // already there: nothing to do, no error
  EXPECT_TRUE(IsFolder(dir.Sub("X/Y/Z")));
}

TEST(EnsureFolderPath, BackslashesSeparateAndAFileInTheWayIsAnError) {
  TempFolder dir;
  EnsureFolderPath(dir.path() + "\\download\\program\\");
  EXPECT_TRUE(IsFolder(dir.Sub("download/program")));
  WriteFileBytes(dir.Sub("blocker"), "file");
  EXPECT_THROW(EnsureFolderPath(dir.Sub("blocker/inside")), std::filesystem::filesystem_error);
}

TEST(FileNames, ExistingEntriesResolveInAnyCaseAndNewOnesKeepTheProgramsSpelling) {
  TempFolder dir;
  WriteFileBytes(dir.Sub("Download/Program/Tandrel.exe"), "t");
  const std::string found = ResolveExistingPath(dir.path() + "\\download\\PROGRAM\\tandrel.EXE");
  EXPECT_EQ(ReadFileBytes(found), "t");
  const std::string fresh = ResolveExistingPath(dir.path() + PathSeparator() + "DOWNLOAD" + PathSeparator() + "NewUpdate" + PathSeparator() + "x.ocx");
  EXPECT_TRUE(EndsWithNoCase(fresh, "x.ocx"));
  EXPECT_NE(fresh.find("NewUpdate"), std::string::npos);

  SharedState state;
  state.program_folder_ = dir.path();
  WriteFileBytes(dir.Sub("orvel_h.INI"), "[Version]\r\nLast=2\r\n");
  EXPECT_EQ(ReadFileBytes(SettingsFile(state, kSettingsForDb)), "[Version]\r\nLast=2\r\n");
}

TEST(Codepage, HangulRoundTripsAndInvalidBytesAreReported) {
  const auto encoded = Utf8ToCp949("백업 Ostrel");
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(*encoded, "\xB9\xE9\xBE\xF7 Ostrel");
  EXPECT_EQ(Cp949ToUtf8(*encoded).value_or(""), "백업 Ostrel");
  EXPECT_FALSE(Cp949ToUtf8("\xFF\xFF").has_value());
  EXPECT_EQ(Cp949ToUtf8Lossy("A\xFF" "B"), "A\xEF\xBF\xBD" "B");
  EXPECT_FALSE(Utf8ToCp949("\xF0\x9F\x98\x80").has_value());  // an emoji has no CP949 form
}

TEST(Text, SplitReplaceQuoteAndCase) {
  EXPECT_EQ(SplitText("host/a/b", "/"), (std::vector<std::string>{"host", "a", "b"}));
  EXPECT_EQ(SplitText("", "/"), (std::vector<std::string>{""}));
  EXPECT_EQ(SqlQuoted("O'Brien''s"), "O''Brien''''s");
  EXPECT_TRUE(EqualsNoCase("Velmont.EXE", "VELMONT.exe"));
  EXPECT_FALSE(EqualsNoCase("Velmont.exe", "Velmont.exe "));
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("버전파일 ok")), "버전파일 ok");
  EXPECT_EQ(TrimBlanks("  7.5.13 \t"), "7.5.13 \t");
  // One pass from the left: what a removal joins is not removed again.
  EXPECT_EQ(RemoveEveryNoCase("x.ca.CABb.Cab", ".cab"), "x.cab");
  EXPECT_EQ(RemoveEveryNoCase("\\Download\\program\\a.exe", "\\download"), "\\program\\a.exe");
}

}  // namespace
}  // namespace quillmend

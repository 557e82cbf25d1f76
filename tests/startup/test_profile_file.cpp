// Profile files: the platform's profile-string semantics, byte-preserving writes, CP949.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_names.h"
#include "startup/profile_file.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteFileBytes;

// "백업" and "예" in CP949.
const std::string kBackupCp949 = "\xB9\xE9\xBE\xF7";
const std::string kYesCp949 = "\xBF\xB9";

TEST(ProfileRead, MissingFileSectionOrKeyGiveTheTrimmedDefault) {
  TempFolder dir;
  const std::string file = dir.Sub("a.ini");
  // Only trailing blanks leave the default here; the settings routines trim the rest.
  EXPECT_EQ(ReadProfileValue(file, "Version", "Last", "  1.0  "), "  1.0");
  WriteFileBytes(file, "[Other]\r\nLast=9\r\n");
  EXPECT_EQ(ReadProfileValue(file, "Version", "Last", "1.0"), "1.0");
  WriteFileBytes(file, "[Version]\r\nFirst=9\r\n");
  EXPECT_EQ(ReadProfileValue(file, "Version", "Last", "1.0"), "1.0");
}

TEST(ProfileRead, SectionsAndKeysIgnoreCaseAndTheFirstOccurrenceWins) {
  TempFolder dir;
  const std::string file = dir.Sub("a.ini");
  WriteFileBytes(file,
                 "; comment\r\n[version]\r\nLAST =  2.1.0  \r\nlast=3\r\nno equals here\r\n"
                 "[VERSION]\r\nLast=4\r\n[DB]\r\nDSN=\"quoted\"\r\n");
  EXPECT_EQ(ReadProfileValue(file, "Version", "Last", "1.0"), "2.1.0");
  EXPECT_EQ(ReadProfileValue(file, "Version", "no equals here", "d"), "d");
  EXPECT_EQ(ReadProfileValue(file, "db", "dsn", ""), "quoted");
}

TEST(ProfileRead, MixedLineEndsAndHugeValuesAndNuls) {
  TempFolder dir;
  const std::string file = dir.Sub("a.ini");
  std::string long_value(5000, 'x');
  WriteFileBytes(file, "[A]\nk1=one\r\nk2=two\rk3=" + long_value + "\n[B]\nk=a" +
                           std::string(1, '\0') + "b\n");
  EXPECT_EQ(ReadProfileValue(file, "A", "k1", ""), "one");
  EXPECT_EQ(ReadProfileValue(file, "A", "k2", ""), "two");
  EXPECT_EQ(ReadProfileValue(file, "A", "k3", "").size(), kProfileBufferChars - 1);
  EXPECT_EQ(ReadProfileValue(file, "B", "k", ""), "a");  // a value ends at its first NUL
}

// The places where byte-wise reading goes wrong on CP949 and the product's reader does not.
TEST(ProfileRead, ReadsAsTheAnsiFunctionsDoOnTheKoreanCodePage) {
  TempFolder dir;
  const std::string file = dir.Sub("a.ini");
  // Two syllables whose trail bytes differ only in ASCII case are different names.
  WriteFileBytes(file, "[\xB0\x41]\r\nk=upper\r\n[\xB0\x61]\r\nk=lower\r\n");
  EXPECT_EQ(ReadProfileStringCp949(file, "\xB0\x61", "k", ""), "lower");
  EXPECT_EQ(ReadProfileStringCp949(file, "\xB0\x41", "K", ""), "upper");

  WriteFileBytes(file,
                 "top=0\r\n[a]b]\r\n;k=comment\r\nk=1\v\x1A\r\n[c\r\n[ d ]\r\nk=\f2\r\n"
                 "[]\r\nk=5\r\n");
  EXPECT_EQ(ReadProfileValue(file, "a]b", "k", "none"), "1");
  EXPECT_EQ(ReadProfileValue(file, "a]b", ";k", "none"), "comment");
  EXPECT_EQ(ReadProfileValue(file, "a]b", "[c", "none"), "none");  // a key line without value
  EXPECT_EQ(ReadProfileValue(file, "d", "k", "none"), "2");
  EXPECT_EQ(ReadProfileValue(file, "", "top", "none"), "0");
  EXPECT_EQ(ReadProfileValue(file, "", "k", "none"), "none");
  EXPECT_EQ(ReadProfileValue(file, "a]b", "", "empty key"), "empty key");

  // The buffer holds 2047 bytes: 1023 double-byte characters, not 2047.
  std::string hangul;
  for (int i = 0; i < 1500; ++i) hangul += "\xB0\xA1";
  WriteFileBytes(file, "[s]\r\nv=" + hangul + "\r\n");
  EXPECT_EQ(ReadProfileStringCp949(file, "s", "v", ""), hangul.substr(0, 2046));
}

TEST(ProfileRead, TenMegabyteFileIsRead) {
  TempFolder dir;
  const std::string file = dir.Sub("big.ini");
  std::string content = "[Pad]\r\n";
  while (content.size() < 10 * 1024 * 1024) content += "filler=0123456789abcdef0123456789\r\n";
  content += "[Version]\r\nLast=7.5.13\r\n";
  WriteFileBytes(file, content);
  EXPECT_EQ(ReadProfileValue(file, "Version", "Last", "1.0"), "7.5.13");
}

TEST(ProfileEncoding, HangulSectionsKeysAndValuesRoundTripAsCp949) {
  TempFolder dir;
  const std::string file = dir.Sub("orvel_h.ini");
  ASSERT_TRUE(WriteProfileValue(file, "백업", "오스트렐", "예"));
  const std::string bytes = ReadFileBytes(file);
  EXPECT_NE(bytes.find("[" + kBackupCp949 + "]"), std::string::npos);
  EXPECT_NE(bytes.find("=" + kYesCp949), std::string::npos);
  EXPECT_EQ(ReadProfileValue(file, "백업", "오스트렐", ""), "예");

  WriteFileBytes(file, "[" + kBackupCp949 + "]\r\nOstrel=Y\r\n");
  EXPECT_EQ(ReadProfileValue(file, "백업", "Ostrel", "N"), "Y");
}

TEST(ProfileEncoding, InvalidCp949BytesAreReplacedOnReadAndKeptOnWrite) {
  TempFolder dir;
  const std::string file = dir.Sub("a.ini");
  const std::string broken = "[A]\r\nbad=\xFF\xFE\x81\r\n";
  WriteFileBytes(file, broken);
  EXPECT_NE(ReadProfileValue(file, "A", "bad", "").find("\xEF\xBF\xBD"), std::string::npos);
  ASSERT_TRUE(WriteProfileValue(file, "A", "good", "1"));
  EXPECT_EQ(ReadFileBytes(file).substr(0, broken.size()), broken);
  EXPECT_EQ(ReadProfileValue(file, "A", "good", ""), "1");
}

TEST(ProfileWrite, KeepsEveryOtherLineByteForByte) {
  TempFolder dir;
  const std::string file = dir.Sub("a.ini");
  WriteFileBytes(file,
                 "; keep me\r\n[DB]\r\nDSN=clinic\r\n\r\n[Version]\nLast=1.0\nNote = x\n"
                 "[Unknown]\r\nz=1");
  ASSERT_TRUE(WriteProfileValue(file, "version", "LAST", "3.0.1"));
  EXPECT_EQ(ReadFileBytes(file),
            "; keep me\r\n[DB]\r\nDSN=clinic\r\n\r\n[Version]\nLast=3.0.1\nNote = x\n"
            "[Unknown]\r\nz=1");
  ASSERT_TRUE(WriteProfileValue(file, "DB", "UID", "sa"));
  EXPECT_EQ(ReadFileBytes(file),
            "; keep me\r\n[DB]\r\nDSN=clinic\r\nUID=sa\r\n\r\n[Version]\nLast=3.0.1\nNote = x\n"
            "[Unknown]\r\nz=1");
  ASSERT_TRUE(WriteProfileValue(file, "New", "k", "v"));
  EXPECT_EQ(ReadFileBytes(file),
            "; keep me\r\n[DB]\r\nDSN=clinic\r\nUID=sa\r\n\r\n[Version]\nLast=3.0.1\nNote = x\n"
            "[Unknown]\r\nz=1\r\n[New]\r\nk=v\r\n");
}

TEST(ProfileWrite, CreatesTheFileAndWritesOnlyTheFirstOfDuplicateSectionsAndKeys) {
  TempFolder dir;
  const std::string file = dir.Sub("new.ini");
  ASSERT_TRUE(WriteProfileValue(file, "Intenet", "g_Connect x", "2026-01-01 00:00:00"));
  EXPECT_EQ(ReadFileBytes(file), "[Intenet]\r\ng_Connect x=2026-01-01 00:00:00\r\n");

  WriteFileBytes(file, "[S]\r\nk=1\r\nk=2\r\n[S]\r\nk=3\r\n");
  ASSERT_TRUE(WriteProfileValue(file, "S", "k", "9"));
  EXPECT_EQ(ReadFileBytes(file), "[S]\r\nk=9\r\nk=2\r\n[S]\r\nk=3\r\n");
}

TEST(ProfileWrite, AKeyLineWithoutEqualsGetsTheValueInPlace) {
  TempFolder dir;
  const std::string file = dir.Sub("a.ini");
  WriteFileBytes(file, "[Version]\r\n  Last\r\nLast=2.0\r\n");
  ASSERT_TRUE(WriteProfileValue(file, "Version", "Last", "  3.0"));
  EXPECT_EQ(ReadFileBytes(file), "[Version]\r\n  Last=3.0\r\nLast=2.0\r\n");
  EXPECT_EQ(ReadProfileValue(file, "Version", "Last", "1.0"), "3.0");
}

TEST(ProfileWrite, ReadOnlyFileOrMissingFolderIsRefusedAndNothingChanges) {
  TempFolder dir;
  const std::string file = dir.Sub("ro.ini");
  WriteFileBytes(file, "[Version]\r\nLast=1.0\r\n");
  std::filesystem::permissions(FsPath(file), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
  EXPECT_FALSE(WriteProfileValue(file, "Version", "Last", "2.0"));
  EXPECT_EQ(ReadFileBytes(file), "[Version]\r\nLast=1.0\r\n");
  EXPECT_FALSE(WriteProfileValue(dir.Sub("missing/x.ini"), "A", "b", "c"));
  EXPECT_FALSE(testing::FileExists(dir.Sub("missing")));
  EXPECT_FALSE(testing::FileExists(dir.Sub("ro.ini.qmtmp")));
}

}  // namespace
}  // namespace quillmend

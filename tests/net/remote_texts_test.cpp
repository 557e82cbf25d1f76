// The status texts both classes report with, and the ANSI code-page decoding of byte arrays.
#include <gtest/gtest.h>

#include "net/c_remote_file.h"
#include "net/status_texts.h"

namespace quillmend {
namespace {

TEST(StatusTexts, EveryCodeHasItsTextAndOthersAreEmpty) {
  const char* expected[] = {"서버연결하기",      "Connection Failed", "Operation Started",
                            "Operation Failed",  "Operation Suceeded", "서버연결끊기",
                            "Query Sent",        "Query Completed",   "Query Failed"};
  for (std::int32_t code = 0; code <= 8; ++code) {
    EXPECT_EQ(cRemoteFile::FormatMessage(code), expected[code]) << code;
  }
  EXPECT_EQ(cRemoteFile::FormatMessage(4), "Operation Suceeded");
  for (const std::int32_t outside : {9, -1, 100, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(cRemoteFile::FormatMessage(outside), "") << outside;
  }
}

TEST(ConvertBytes2String, DecodesAsciiAndKoreanCodePageBytes) {
  std::string text = "previous";
  cRemoteFile::ConvertBytes2String({0x41, 0x42}, text);
  EXPECT_EQ(text, "AB");

  // "한글" in CP949, then ASCII after it.
  cRemoteFile::ConvertBytes2String({0xC7, 0xD1, 0xB1, 0xDB, 0x2E, 0x74, 0x78, 0x74}, text);
  EXPECT_EQ(text, "한글.txt");

  // The extended range outside EUC-KR: "똠" is 0x8C 0x63 in CP949.
  cRemoteFile::ConvertBytes2String({0x8C, 0x63}, text);
  EXPECT_EQ(text, "똠");

  cRemoteFile::ConvertBytes2String({}, text);
  EXPECT_EQ(text, "");
}

TEST(ConvertBytes2String, InvalidBytesBecomeReplacementCharactersWithoutLosingTheRest) {
  std::string text;
  // A lead byte with no trail at the end, and a byte that is no CP949 lead byte.
  cRemoteFile::ConvertBytes2String({0x41, 0xFF, 0x42, 0xC7}, text);
  EXPECT_EQ(text.substr(0, 1), "A");
  EXPECT_NE(text.find("B"), std::string::npos);
  EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos);  // U+FFFD
}

}  // namespace
}  // namespace quillmend

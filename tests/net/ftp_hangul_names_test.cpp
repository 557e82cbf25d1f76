// Hangul folder and file names against servers that store UTF-8 (with and without UTF8 in
// FEAT) and one whose names are CP949 bytes: every listed name decodes to its Hangul and goes
// back to the server in the bytes the server sent.
#include <gtest/gtest.h>

#include <algorithm>

#include "net/ftp_fixture.h"
#include "platform/posix/ftp_names.h"

namespace quillmend {
namespace {

using inet::posix::FtpNameCodec;
using inet::posix::NameEncoding;
using testing::FtpServer;
using testing::FtpServerKind;

// 버전 and 진료 in UTF-8 are valid CP949 byte pairs as well.
const std::string kVersionUtf8 = "\xEB\xB2\x84\xEC\xA0\x84";
const std::string kVersionCp949 = "\xB9\xF6\xC0\xFC";

TEST(FtpNameCodec, AListingOfUtf8NamesThatAlsoReadAsCp949StaysUtf8) {
  FtpNameCodec codec;
  const auto names = codec.Decode({"readme.txt", kVersionUtf8, "\xEC\xA7\x84\xEB\xA3\x8C"});
  EXPECT_EQ(names, (std::vector<std::string>{"readme.txt", "버전", "진료"}));
  EXPECT_EQ(codec.encoding(), NameEncoding::kUtf8);
  ASSERT_EQ(codec.Encode("/버전/새 폴더").size(), 1u);
  EXPECT_EQ(codec.Encode("/버전/새 폴더")[0].bytes, "/" + kVersionUtf8 + "/새 폴더");
}

TEST(FtpNameCodec, ACp949ListingDecidesCp949AndEveryNameGoesBackInItsOwnBytes) {
  FtpNameCodec codec;
  // The second name fits neither encoding: shown with U+FFFD, sent back byte for byte.
  const std::string broken = "\xB9\xF6\xFF.cab";
  const auto names = codec.Decode({kVersionCp949, broken});
  EXPECT_EQ(names[0], "버전");
  EXPECT_EQ(codec.encoding(), NameEncoding::kCp949);
  EXPECT_EQ(codec.Encode(names[1])[0].bytes, broken);
  EXPECT_EQ(codec.Encode(names[0] + "/" + names[1])[0].bytes, kVersionCp949 + "/" + broken);
  // A name of our own goes out in CP949; one CP949 cannot hold has no form.
  EXPECT_EQ(codec.Encode("진료")[0].bytes, "\xC1\xF8\xB7\xE1");
  EXPECT_TRUE(codec.Encode("\xF0\x9F\x98\x80").empty());
}

TEST(FtpNameCodec, UntilTheServerShowsItsEncodingBothFormsAreOffered) {
  FtpNameCodec codec;
  EXPECT_EQ(codec.DecodeOne("/update/v2"), "/update/v2");
  EXPECT_EQ(codec.encoding(), NameEncoding::kUndecided);
  const auto forms = codec.Encode("버전");
  ASSERT_EQ(forms.size(), 2u);
  EXPECT_EQ(forms[0].bytes, kVersionCp949);
  EXPECT_EQ(forms[1].bytes, kVersionUtf8);
  EXPECT_EQ(codec.Encode("plain/ascii").size(), 1u);
  codec.Accepted(forms[1]);
  EXPECT_EQ(codec.encoding(), NameEncoding::kUtf8);
  EXPECT_EQ(codec.Encode("버전").size(), 1u);
}

TEST(FtpNameCodec, Utf8CheckRefusesOverlongFormsAndSurrogates) {
  EXPECT_TRUE(inet::posix::IsUtf8("버전 a"));
  EXPECT_FALSE(inet::posix::IsUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(inet::posix::IsUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(inet::posix::IsUtf8("\xEB\xB2"));          // cut short
  EXPECT_FALSE(inet::posix::IsUtf8(kVersionCp949));
}

struct NamePeer {
  FtpServerKind kind;
  bool utf8_feat;
  bool cp949;  // pyftpdlib with its names in CP949 on the wire
  const char* label;
};

class HangulNames : public ::testing::TestWithParam<NamePeer>, public FtpFixture {
 protected:
  void SetUp() override {
    if (!FtpServer::CanStart(GetParam().kind)) GTEST_SKIP() << "server not available here";
    std::vector<std::string> rules;
    if (GetParam().cp949) rules.push_back("cp949");
    ASSERT_TRUE(StartServer({GetParam().kind, true}, rules, GetParam().utf8_feat))
        << FtpServer::LastStartError();
  }
};

TEST_P(HangulNames, FoldersAndFilesRoundTrip) {
  Serve("진료/버전/설명서 1.txt", "notes");
  Serve("진료/버전/프로그램/진료기록.cab", BinaryBytes(3000));
  auto client = Client();
  ASSERT_TRUE(client->OpenConnection(server().host() + "/진료/버전", server().port_text(),
                                     server().user(), server().password()))
      << client->GetLastErrorMessage();
  EXPECT_EQ(client->GetFTPDirectory(), "/진료/버전");

  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr) << client->GetLastErrorMessage();
  std::vector<std::string> names;
  for (const cDirItem& item : client->Directory()) {
    if (item.Filename != "." && item.Filename != "..") names.push_back(item.Filename);
  }
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names, (std::vector<std::string>{"설명서 1.txt", "프로그램"}));
  const cDirItem& notes = client->Directory().Item("설명서 1.txt");
  ASSERT_TRUE(client->FTPDownloadFile(Local("notes.txt"), notes.Filename, notes.FileSize))
      << client->GetLastErrorMessage();
  EXPECT_EQ(testing::ReadFileBytes(Local("notes.txt")), "notes");

  // Into the listed folder, and a file of it by its full path, as the download walk does.
  ASSERT_TRUE(client->SetFTPDirectory("/진료/버전/프로그램/")) << client->GetLastErrorMessage();
  ASSERT_NE(client->GetDirectoryListing("*.*"), nullptr) << client->GetLastErrorMessage();
  const cDirItem& cab = client->Directory().Item("진료기록.cab");
  ASSERT_TRUE(client->FTPDownloadFile(Local("r.cab"), "/진료/버전/프로그램/" + cab.Filename,
                                      cab.FileSize))
      << client->GetLastErrorMessage();
  EXPECT_EQ(testing::ReadFileBytes(Local("r.cab")), BinaryBytes(3000));
  EXPECT_EQ(client->GetFTPDirectory(), "/진료/버전/프로그램");
}

INSTANTIATE_TEST_SUITE_P(
    Servers, HangulNames,
    ::testing::Values(NamePeer{FtpServerKind::kVsftpd, false, false, "vsftpd_default"},
                      NamePeer{FtpServerKind::kVsftpd, true, false, "vsftpd_utf8"},
                      NamePeer{FtpServerKind::kProftpd, false, false, "proftpd_no_lang"},
                      NamePeer{FtpServerKind::kProftpd, true, false, "proftpd_utf8"},
                      NamePeer{FtpServerKind::kPureFtpd, true, false, "pureftpd"},
                      NamePeer{FtpServerKind::kPyftpdlib, true, false, "pyftpdlib_utf8"},
                      NamePeer{FtpServerKind::kPyftpdlib, true, true, "pyftpdlib_cp949"}),
    [](const auto& peer) { return std::string(peer.param.label); });

}  // namespace
}  // namespace quillmend

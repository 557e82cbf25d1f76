// One download per clinic: with [Distribution] ShareFirst=1 the first online workstation
// downloads a version and leaves it whole on the clinic share; the next ones take it from there,
// and fall back to the Internet whenever the share cannot give it whole. Real FTP servers,
// SQLite through ODBC, real CABs, real files and mounts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "base/sha256.h"
#include "base/text.h"
#include "platform/file_names.h"
#include "startup/profile_file.h"
#include "support/host_paths.h"
#include "update/share_claim.h"
#include "update/share_first.h"
#include "update/share_record.h"
#include "update_clinic.h"

namespace quillmend::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCopyingLine = "서버에서 최신 프로그램을 복사중입니다.";
constexpr const char* kWaitingLine = "다른 컴퓨터가 최신 프로그램을 다운로드 중입니다.";

const std::vector<PublishedFile> kVersion13 = {
    {"program", "Velmont.exe", std::string(3 << 20, 'v') + "13"},
    {"system", "x.ocx", "x13"}};

void SwitchOn(UpdateClinic& workstation) {
  WriteProfileValue(workstation.Program("quillmend.ini"), "Distribution", "ShareFirst", "1");
}

void PointAtShare(UpdateClinic& workstation, const std::string& share) {
  WriteProfileValue(workstation.Program("ORVEL_H.ini"), "SERVER", "PATH", share);
}

// A further online workstation of the same clinic: the same clinic database and share, its own
// program folder, CRM and FTP server with the same published version.
void JoinClinic(UpdateClinic& other, const UpdateClinic& first, const std::string& share) {
  other.clinic_db = first.clinic_db;
  WriteClinicDbSettings(other.state.program_folder_, first.clinic_db);
  other.state.g_HostName = "WS02";
  PointAtShare(other, share);
  other.Publish("7.5.13", kVersion13);
  other.Serve();
}

// Runs the download pass of a workstation; the CRM is found through the current folder.
void RunDown(UpdateClinic& workstation) {
  fs::current_path(FsPath(workstation.state.program_folder_));
  workstation.runner->Down();
}

bool Shell(const std::string& command_line) { return std::system(command_line.c_str()) == 0; }

// The CRM version rows' state words of one workstation. (Under Wine the workstations of a test
// share one CRM file: the rows are told apart by the host name.)
std::vector<std::string> StatesOf(const UpdateClinic& workstation) {
  return QuerySqlite(workstation.crm_db, "select 상태 from 오르벨거래처버전 where 이름 = '" +
                                             workstation.state.g_HostName + "'");
}

bool AllStatesAre(const UpdateClinic& workstation, const std::string& word) {
  const std::vector<std::string> states = StatesOf(workstation);
  return !states.empty() &&
         std::all_of(states.begin(), states.end(), [&](const std::string& s) { return s == word; });
}

// The first workstation has downloaded 7.5.13 and left it on the share; the second waits.
struct ClinicWithShare {
  ClinicWithShare() : first({true}), second({true}) {
    share = first.folder.Sub("server/download");
    fs::create_directories(FsPath(share));
    SwitchOn(first);
    PointAtShare(first, share);
    first.Publish("7.5.13", kVersion13);
    first.Serve();
    JoinClinic(second, first, share);
    SwitchOn(second);
  }
  std::string OnShare(const std::string& relative) const { return JoinedPath(share, relative); }
  void FirstDownloads() {
    RunDown(first);
    ASSERT_EQ(first.LastVersion(), "7.5.13");
    ASSERT_TRUE(FileExists(OnShare("versions/7.5.13.whole")));
  }
  // The second workstation must install 7.5.13 from the Internet, whatever the share holds.
  void SecondDownloadsFromTheInternet() {
    RunDown(second);
    EXPECT_EQ(second.LastVersion(), "7.5.13");
    EXPECT_EQ(ReadFileBytes(second.Program("Velmont.exe")), kVersion13[0].bytes);
    EXPECT_EQ(ReadFileBytes(second.System("x.ocx")), "x13");
    EXPECT_TRUE(AllStatesAre(second, "Internet"));
  }

  UpdateClinic first;
  UpdateClinic second;
  std::string share;
};

TEST(ShareFirst, OneWorkstationDownloadsTheOthersCopyTheWholeVersionFromTheShare) {
  ClinicWithShare clinic;
  clinic.FirstDownloads();
  // The share holds the expanded files where offline workstations look, and the record.
  EXPECT_EQ(ReadFileBytes(clinic.OnShare("program/Velmont.exe")), kVersion13[0].bytes);
  EXPECT_EQ(ReadFileBytes(clinic.OnShare("system/x.ocx")), "x13");
  EXPECT_FALSE(fs::exists(FsPath(clinic.OnShare("versions/7.5.13.claim"))));
  const auto record = ReadShareRecord(clinic.share, "7.5.13");
  ASSERT_TRUE(record);
  ASSERT_EQ(record->files.size(), 2u);
  for (const ShareRecordFile& file : record->files) {
    const std::string bytes = ReadFileBytes(PathOnShare(clinic.share, file.recorded));
    EXPECT_EQ(file.size, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(file.sha256, Sha256Hex(bytes));
  }
  EXPECT_TRUE(AllStatesAre(clinic.first, "Internet"));

  // The second workstation's FTP server is gone: only the share can serve it.
  clinic.second.StopServer();
  const size_t receipts_before = clinic.second.SupportReceipts().size();
  std::vector<std::string> lines;
  clinic.second.host.SetEventHook([&] { lines.push_back(clinic.second.window.lblCaption[0].caption); });
  RunDown(clinic.second);
  EXPECT_EQ(clinic.second.LastVersion(), "7.5.13");
  EXPECT_EQ(ReadFileBytes(clinic.second.Program("Velmont.exe")), kVersion13[0].bytes);
  EXPECT_EQ(ReadFileBytes(clinic.second.System("x.ocx")), "x13");
  EXPECT_EQ(clinic.second.ProductVersion(), "7.5.13");
  EXPECT_NE(std::find(lines.begin(), lines.end(), kCopyingLine), lines.end());
  // The vendor tells the share's installs by their state word; the support record is filed.
  EXPECT_TRUE(AllStatesAre(clinic.second, "Internet_Share"))
      << StatesOf(clinic.second).size();
  EXPECT_EQ(clinic.second.SupportReceipts().size(), receipts_before + 1);
  // Each file of the version is in the clinic database once, whoever installed it.
  EXPECT_EQ(clinic.second.VersionFileRows().size(), 2u);
}

TEST(ShareFirst, WithTheSwitchOffTheShareIsNeitherReadNorWritten) {
  UpdateClinic workstation({true});
  const std::string share = workstation.folder.Sub("server/download");
  fs::create_directories(FsPath(share));
  PointAtShare(workstation, share);
  workstation.Publish("7.5.13", kVersion13);
  workstation.Serve();
  RunDown(workstation);
  EXPECT_EQ(workstation.LastVersion(), "7.5.13");
  EXPECT_TRUE(fs::is_empty(FsPath(share)));
  EXPECT_TRUE(AllStatesAre(workstation, "Internet"));
}

// ---- A share that cannot give the version whole is never used for it ----

TEST(ShareFirstBadShare, AFileReplacedByAnotherOfTheSameNameAndSize) {
  ClinicWithShare clinic;
  clinic.FirstDownloads();
  std::string other = kVersion13[0].bytes;
  other[1000] = 'w';
  WriteFileBytes(clinic.OnShare("program/Velmont.exe"), other);
  clinic.SecondDownloadsFromTheInternet();
}

TEST(ShareFirstBadShare, TheClinicDatabaseNamesAFileTheShareDoesNotHold) {
  ClinicWithShare clinic;
  clinic.FirstDownloads();
  ExecSqlite(clinic.first.clinic_db,
             {"insert into 버전파일 values ('7.5.13', '\\download\\program\\Extra.dll', '')"});
  clinic.SecondDownloadsFromTheInternet();
}

TEST(ShareFirstBadShare, AVersionStillBeingWrittenOrCutShort) {
  ClinicWithShare clinic;
  clinic.FirstDownloads();
  // Files and rows there, the record not yet: another workstation is still writing it.
  fs::remove(FsPath(clinic.OnShare("versions/7.5.13.whole")));
  clinic.SecondDownloadsFromTheInternet();
  EXPECT_TRUE(FileExists(clinic.OnShare("versions/7.5.13.whole")));  // left whole again

  // A file cut short behind a record that names its full size.
  UpdateClinic third({true});
  JoinClinic(third, clinic.first, clinic.share);
  SwitchOn(third);
  third.state.g_HostName = "WS03";
  WriteFileBytes(clinic.OnShare("program/Velmont.exe"), kVersion13[0].bytes.substr(0, 4096));
  RunDown(third);
  EXPECT_EQ(ReadFileBytes(third.Program("Velmont.exe")), kVersion13[0].bytes);
  EXPECT_TRUE(AllStatesAre(third, "Internet"));
}

TEST(ShareFirstBadShare, AMissingShare) {
  ClinicWithShare clinic;
  clinic.FirstDownloads();
  fs::rename(FsPath(clinic.share), FsPath(clinic.share + ".gone"));
  clinic.SecondDownloadsFromTheInternet();
  EXPECT_FALSE(fs::exists(FsPath(clinic.share)));  // a share that is not there is not made
}

TEST(ShareFirstBadShare, TheShareRemovedInTheMiddleOfTheCopy) {
  ClinicWithShare clinic;
  clinic.FirstDownloads();
  bool removed = false;
  clinic.second.host.SetEventHook([&] {
    if (removed || clinic.second.window.lblCaption[0].caption != kCopyingLine) return;
    fs::rename(FsPath(clinic.share), FsPath(clinic.share + ".gone"));
    removed = true;
  });
  clinic.SecondDownloadsFromTheInternet();
  EXPECT_TRUE(removed);
  EXPECT_FALSE(fs::exists(FsPath(clinic.share)));  // not made again by the claim or the record
  // Nothing half-copied is left in the download folder's place of a file.
  for (const auto& entry : fs::recursive_directory_iterator(FsPath(clinic.second.Program("download")))) {
    EXPECT_EQ(entry.path().filename().string().find(".qm-part"), std::string::npos) << entry.path();
  }
}

TEST(ShareFirstBadShare, AShareOnAFullDiskIsLeftWithoutARecordAndItsFilesWhole) {
  ClinicWithShare clinic;
  if (PathSeparator() == "\\") GTEST_SKIP() << "no mounts on this platform";
  // The share lives on a file system too small for the version.
  const std::string mount = clinic.first.folder.Sub("server");
  if (!Shell("mount -t tmpfs -o size=1m tmpfs '" + mount + "' 2>/dev/null")) {
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  }
  struct Unmount {
    std::string folder;
    ~Unmount() {
      if (!Shell("umount '" + folder + "'")) Shell("umount -l '" + folder + "'");
    }
  } unmount{mount};
  fs::create_directories(FsPath(clinic.share));
  RunDown(clinic.first);
  EXPECT_EQ(clinic.first.LastVersion(), "7.5.13");  // installed here all the same
  EXPECT_NE(clinic.first.FailureLog().find("NotShared(m_sharepublish) 7.5.13"), std::string::npos)
      << clinic.first.FailureLog();
  EXPECT_FALSE(FileExists(clinic.OnShare("versions/7.5.13.whole")));
  EXPECT_FALSE(fs::exists(FsPath(clinic.OnShare("versions/7.5.13.claim"))));
  for (const auto& entry : fs::recursive_directory_iterator(FsPath(clinic.share))) {
    EXPECT_EQ(entry.path().filename().string().find(".qm-part"), std::string::npos) << entry.path();
  }
  clinic.SecondDownloadsFromTheInternet();
}

// ---- Two workstations at the same moment ----

TEST(ShareFirstTogether, OnlyOneOfTwoGetsTheClaimAndTheOtherWaitsForItsDownload) {
  ClinicWithShare clinic;
  // Of two claims made at the same moment exactly one succeeds.
  {
    ShareClaim one, two;
    EXPECT_TRUE(one.Take(clinic.share, "7.5.13", "WS01", 600));
    EXPECT_FALSE(two.Take(clinic.share, "7.5.13", "WS02", 600));
    EXPECT_TRUE(ShareClaim::OtherHolds(clinic.share, "7.5.13", "WS02", 600));
    EXPECT_FALSE(ShareClaim::OtherHolds(clinic.share, "7.5.13", "WS01", 600));
  }
  // The first workstation has started downloading 7.5.13 (its claim is on the share) when
  // the second starts: the second waits, and the first's pass runs while it waits. The
  // second's rows then say that it installed from the share.
  ShareClaim started;
  ASSERT_TRUE(started.Take(clinic.share, "7.5.13", ClaimOwner(clinic.first.state), 600));
  bool first_ran = false;
  clinic.second.host.SetEventHook([&] {
    if (first_ran || clinic.second.window.lblCaption[0].caption != kWaitingLine) return;
    first_ran = true;
    RunDown(clinic.first);
    fs::current_path(FsPath(clinic.second.state.program_folder_));
  });
  RunDown(clinic.second);
  EXPECT_TRUE(first_ran);
  EXPECT_EQ(clinic.first.LastVersion(), "7.5.13");
  EXPECT_EQ(clinic.second.LastVersion(), "7.5.13");
  EXPECT_EQ(ReadFileBytes(clinic.second.Program("Velmont.exe")), kVersion13[0].bytes);
  EXPECT_TRUE(AllStatesAre(clinic.second, "Internet_Share"));
  EXPECT_FALSE(fs::exists(FsPath(clinic.OnShare("versions/7.5.13.claim"))));
}

// ---- The pieces ----

TEST(ShareDigest, MatchesTheStandardsExamplesHoweverTheBytesArriveInPieces) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha256Hex(two_blocks),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  for (size_t piece : {1u, 63u, 64u, 65u, 4096u}) {
    Sha256 hash;
    for (size_t at = 0; at < million.size(); at += piece) {
      hash.Update(std::string_view(million).substr(at, piece));
    }
    EXPECT_EQ(hash.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0")
        << piece;
  }
}

TEST(ShareRecordFile, RoundTripsAndRefusesWhatIsNotWhole) {
  TempFolder folder;
  const std::string share = folder.Sub("download");
  fs::create_directories(FsPath(share));
  ShareRecord record{"7.5.13", "WS01", {{"\\download\\program\\Velmont Main.exe", 12, Sha256Hex("a")}}};
  std::string error;
  ASSERT_TRUE(WriteShareRecord(share, record, "t1", &error)) << error;
  const auto read = ReadShareRecord(share, "7.5.13");
  ASSERT_TRUE(read);
  ASSERT_EQ(read->files.size(), 1u);
  EXPECT_EQ(read->files[0].recorded, "\\download\\program\\Velmont Main.exe");
  EXPECT_EQ(read->files[0].size, 12);
  EXPECT_FALSE(ReadShareRecord(share, "7.5.14"));
  // Cut short in the middle of a line, or naming another version: not a record.
  const std::string text = ReadFileBytes(ShareRecordPath(share, "7.5.13"));
  WriteFileBytes(ShareRecordPath(share, "7.5.13"), text.substr(0, text.size() - 30));
  EXPECT_FALSE(ReadShareRecord(share, "7.5.13"));
  WriteFileBytes(ShareRecordPath(share, "7.5.13"), ReplaceAll(text, "version 7.5.13", "version 7.6"));
  EXPECT_FALSE(ReadShareRecord(share, "7.5.13"));
  // Version texts that cannot name a file on every share are never shared.
  EXPECT_TRUE(IsShareableVersion("2013.1.1-b_2"));
  for (const char* bad : {"", "..", "7.5'13", "7/5", "7\\5", "7:5", "7 5"}) {
    EXPECT_FALSE(IsShareableVersion(bad)) << bad;
  }
  // Rows that would lead off the share are not served from it.
  EXPECT_EQ(ShareablePath("\\download\\program\\Velmont.exe.CAB"), "\\download\\program\\Velmont.exe");
  EXPECT_FALSE(ShareablePath("\\download\\..\\..\\etc\\passwd"));
  EXPECT_FALSE(ShareablePath("\\other\\x.exe"));
}

}  // namespace
}  // namespace quillmend::testing

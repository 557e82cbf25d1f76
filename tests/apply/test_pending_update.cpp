// The pending update offered at start-up: the question, the depth-first apply with its
// destinations, records and deletions, and the removal of the emptied folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "apply/pending_update.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "startup/settings.h"
#include "support/temp_folder.h"
#include "workstation.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;
namespace fs = std::filesystem;

const std::string kQuestion =
    "Quillmend: 업데이트를 적용하지 못한 프로그램이 있습니다. 진행하시겠습니까?";

std::string Pending(const Workstation& ws, const std::string& relative) {
  return ws.Program("newupdate/" + relative);
}

TEST(PendingUpdate, WithoutAPendingFolderNothingIsAsked) {
  Workstation ws({true});
  CheckPendingUpdate(ws.state);
  EXPECT_TRUE(ws.host.shown().empty());
}

TEST(PendingUpdate, AnsweringNoChangesNothing) {
  Workstation ws({false});
  Workstation::Write(Pending(ws, "program/Velmont.exe"), "new");
  CheckPendingUpdate(ws.state);
  EXPECT_EQ(ws.host.shown(), (std::vector<std::string>{kQuestion}));
  EXPECT_EQ(ReadFileBytes(Pending(ws, "program/Velmont.exe")), "new");
  EXPECT_FALSE(FileExists(ws.Program("Velmont.exe")));
  EXPECT_TRUE(ws.OfflineRecords().empty());
}

TEST(PendingUpdate, AppliesTheTreeDepthFirstAndRemovesIt) {
  Workstation ws({true});
  WriteIniValue(ws.Program("orvel_h.ini"), "Version", "Last", "7.5.13");
  Workstation::Write(Pending(ws, "direct.txt"), "direct");
  Workstation::Write(Pending(ws, "program/Reports/r.rpt"), "report");
  Workstation::Write(Pending(ws, "program/Carrowby.exe"), "carrowby");
  Workstation::Write(Pending(ws, "system/Grid.ocx"), "grid");
  Workstation::Write(Pending(ws, "system/sub/system/deep.dll"), "deep");
  Workstation::Write(ws.Program("Carrowby.exe"), "old carrowby");
  Workstation::ShiftTime(ws.Program("Carrowby.exe"), std::chrono::hours(-5));
  // A read-only pending file is applied and removed like any other.
  fs::permissions(FsPath(Pending(ws, "direct.txt")), fs::perms::owner_read | fs::perms::group_read);

  CheckPendingUpdate(ws.state);

  EXPECT_EQ(ReadFileBytes(ws.Program("direct.txt")), "direct");
  EXPECT_EQ(ReadFileBytes(ws.Program("Reports/r.rpt")), "report");
  EXPECT_EQ(ReadFileBytes(ws.Program("Carrowby.exe")), "carrowby");
  EXPECT_EQ(ReadFileBytes(ws.System("Grid.ocx")), "grid");
  EXPECT_EQ(ReadFileBytes(ws.System("sub/system/deep.dll")), "deep");
  EXPECT_EQ(ws.OfflineRecords(), (std::vector<std::string>{
                                     "7.5.13|r.rpt||Server_NewUpdate",
                                     "7.5.13|Carrowby.exe||Server_NewUpdate",
                                     "7.5.13|deep.dll||Server_NewUpdate",
                                     "7.5.13|Grid.ocx||Server_NewUpdate",
                                     "7.5.13|direct.txt||Server_NewUpdate"}));
  std::vector<std::string> registered = ws.RegisteredTargets(2);
  std::sort(registered.begin(), registered.end());
  EXPECT_EQ(registered, (std::vector<std::string>{ws.System("Grid.ocx"),
                                                  ws.System("sub/system/deep.dll")}));
  EXPECT_FALSE(FileExists(ws.Program("newupdate")));
  EXPECT_EQ(ws.window.lblCounter.caption, "5/5");
  EXPECT_EQ(ws.window.prgAll.value, 5);
}

TEST(PendingUpdate, AnEqualTimeFileIsRecordedAndRemovedWithoutCopying) {
  Workstation ws({true});
  ws.GoOnline();
  Workstation::Write(Pending(ws, "system/Same.dll"), "pending copy");
  Workstation::Write(ws.System("Same.dll"), "installed copy");
  // A whole-second time, which every platform's time setter keeps exactly.
  const auto same = std::chrono::floor<std::chrono::seconds>(
      fs::last_write_time(FsPath(Pending(ws, "system/Same.dll"))));
  fs::last_write_time(FsPath(Pending(ws, "system/Same.dll")), same);
  fs::last_write_time(FsPath(ws.System("Same.dll")), same);
  ASSERT_EQ(LastModifiedStamp(ws.System("Same.dll")),
            LastModifiedStamp(Pending(ws, "system/Same.dll")));
  CheckPendingUpdate(ws.state);
  EXPECT_EQ(ReadFileBytes(ws.System("Same.dll")), "installed copy");
  EXPECT_EQ(ws.OnlineRecords(), (std::vector<std::string>{"1.0|Same.dll||Internet_NewUpdate"}));
  EXPECT_EQ(ws.RegisteredTargets(1), (std::vector<std::string>{ws.System("Same.dll")}));
  EXPECT_FALSE(FileExists(ws.Program("newupdate")));
}

TEST(PendingUpdate, ANewOwnExecutableIsWrittenBesideTheRunningOne) {
  Workstation ws({true});
  Workstation::Write(ws.Program("quillmend.exe"), "running");
  Workstation::ShiftTime(ws.Program("quillmend.exe"), std::chrono::hours(-3));
  Workstation::Write(Pending(ws, "program/Quillmend.exe"), "next");
  CheckPendingUpdate(ws.state);
  EXPECT_EQ(ReadFileBytes(ws.Program("quillmend.exe")), "running");
  EXPECT_EQ(ReadFileBytes(ws.Program("Quillmend1.exe")), "next");
  EXPECT_EQ(ws.OfflineRecords(), (std::vector<std::string>{"1.0|Quillmend.exe||Server_NewUpdate"}));
  EXPECT_FALSE(FileExists(ws.Program("newupdate")));
}

TEST(PendingUpdate, AnEmptyPendingFolderIsAskedAboutAndRemoved) {
  Workstation ws({true});
  fs::create_directories(FsPath(Pending(ws, "program/Reports")));
  fs::create_directories(FsPath(Pending(ws, "system")));
  CheckPendingUpdate(ws.state);
  EXPECT_EQ(ws.host.shown(), (std::vector<std::string>{kQuestion}));
  EXPECT_FALSE(FileExists(ws.Program("newupdate")));
}

TEST(PendingUpdate, RemoveEmptyFoldersKeepsFoldersThatHoldFiles) {
  Workstation ws;
  const std::string root = ws.Program("NewUpdate");
  fs::create_directories(FsPath(root + "/a/b/c"));
  fs::create_directories(FsPath(root + "/d/e"));
  Workstation::Write(root + "/d/keep.txt", "stays");
  RemoveEmptyFolders(ws.state, root + "/", "");
  EXPECT_FALSE(fs::exists(FsPath(root + "/a")));
  EXPECT_FALSE(fs::exists(FsPath(root + "/d/e")));
  EXPECT_EQ(ReadFileBytes(root + "/d/keep.txt"), "stays");
}

}  // namespace
}  // namespace quillmend

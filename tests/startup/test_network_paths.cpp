// Network paths (\\server\share\...) and drive paths through the path helpers: the folders that
// are created, what lies below what, the database form and the placement target. A network path
// must keep its "\\" everywhere; a lost one turns it into a folder of the current drive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "apply/staging_paths.h"
#include "platform/file_names.h"
#include "startup/folders.h"
#include "startup/network_share.h"
#include "base/text.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using testing::TempFolder;

// A path written Windows-style, with the platform's separator.
std::string Native(const std::string& windows_style) {
  return ReplaceAll(windows_style, "\\", PathSeparator());
}

std::vector<std::string> Natives(const std::vector<std::string>& windows_style) {
  std::vector<std::string> out;
  for (const std::string& path : windows_style) out.push_back(Native(path));
  return out;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(FsPath(path), ec);
}

TEST(FolderPathSteps, DrivePathsNetworkPathsAndPathsFromTheRoot) {
  EXPECT_EQ(FolderPathSteps("C:\\A\\B\\"), Natives({"C:\\A", "C:\\A\\B"}));
  EXPECT_EQ(FolderPathSteps("D:/X//Y"), Natives({"D:\\X", "D:\\X\\Y"}));
  // The share is the root: neither "\\server" nor "\\server\orvel" is a folder to create.
  EXPECT_EQ(FolderPathSteps("\\\\server\\orvel\\download\\program\\"),
            Natives({"\\\\server\\orvel\\download", "\\\\server\\orvel\\download\\program"}));
  EXPECT_EQ(FolderPathSteps("//server/orvel/download"), Natives({"\\\\server\\orvel\\download"}));
  EXPECT_TRUE(FolderPathSteps("\\\\server\\orvel").empty());
  EXPECT_TRUE(FolderPathSteps("\\\\server\\orvel\\").empty());
  EXPECT_EQ(FolderPathSteps("\\A\\B"), Natives({"\\", "\\A", "\\A\\B"}));
}

TEST(StagingPaths, NetworkAndDrivePathsCompareAndJoinWithoutLosingTheirRoot) {
  const std::string share = "\\\\server\\orvel\\download";
  EXPECT_TRUE(IsBelowFolder("\\\\SERVER\\Orvel\\Download\\program\\x.exe", share));
  EXPECT_TRUE(IsBelowFolder("//server/orvel/download/system/x.dll", share + "\\"));
  EXPECT_FALSE(IsBelowFolder("\\\\server\\orvel\\downloads\\x.exe", share));
  EXPECT_FALSE(IsBelowFolder("\\server\\orvel\\download\\x.exe", share));
  EXPECT_TRUE(IsBelowFolder("c:\\orvel\\download\\x.exe", "C:\\Orvel"));
  EXPECT_FALSE(IsBelowFolder("D:\\Orvel\\x.exe", "C:\\Orvel"));

  SharedState state;
  state.program_folder_ = "\\\\server\\orvel";
  state.g_SystemFolder = "C:\\WINDOWS\\SysWOW64";
  EXPECT_EQ(DatabaseRelativePath(state, "\\\\server\\orvel\\download\\program\\Velmont.exe"),
            "\\download\\program\\Velmont.exe");
  const auto program = TargetOfStagedFile(state, "\\\\server\\orvel\\download\\program\\R\\a.rpt");
  ASSERT_TRUE(program.has_value());
  EXPECT_EQ(program->folder, Native("\\\\server\\orvel\\R"));
  const auto system = TargetOfStagedFile(state, "\\\\server\\orvel\\download\\system\\x.ocx");
  ASSERT_TRUE(system.has_value());
  EXPECT_EQ(system->folder, Native("C:\\WINDOWS\\SysWOW64"));
  EXPECT_EQ(NormalizeSeparators("\\\\server/orvel\\x"), Native("\\\\server\\orvel\\x"));
  EXPECT_EQ(JoinPath(Native("\\\\server\\orvel\\"), "a.ini"), Native("\\\\server\\orvel\\a.ini"));
}

TEST(EnsureFolderPath, CreatesTheFoldersBelowAReachableShare) {
  const auto share = testing::MakeReachableShare();
  if (!share) GTEST_SKIP() << "no share can be made on this machine";
  EnsureFolderPath(share->unc_root + "\\download\\program\\");
  const bool made = IsFolder(share->local_folder + PathSeparator() + "download" +
                             PathSeparator() + "program");
  testing::RemoveShare(*share);
  EXPECT_TRUE(made);
}

// A share that cannot be reached is an error, and nothing is made in its place.
TEST(EnsureFolderPath, BelowAnUnreachableShareFailsAndCreatesNothing) {
  const std::string server = "qm-no-server-" + std::to_string(std::rand());
  EXPECT_THROW(EnsureFolderPath("\\\\" + server + "\\orvel\\download\\program"),
               std::filesystem::filesystem_error);
  EXPECT_FALSE(IsFolder(Native("\\" + server)));
  EXPECT_FALSE(IsFolder(Native("\\" + server + "\\orvel\\download")));
}

}  // namespace
}  // namespace quillmend

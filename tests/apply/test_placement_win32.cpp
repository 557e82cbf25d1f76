// Windows: a target that another program holds open (as a running product program holds its
// executable) cannot be replaced; the staged file waits in the pending folder.
#include <gtest/gtest.h>
#include <windows.h>

#include "apply/placement.h"
#include "platform/file_placement.h"
#include "base/text.h"
#include "support/temp_folder.h"
#include "workstation.h"

namespace quillmend {
namespace {

using namespace quillmend::testing;

std::wstring WidePath(const std::string& utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

TEST(PlacementInUse, ATargetHeldOpenIsDeferredAndLeftAlone) {
  Workstation ws;
  const std::string target = ws.Program("Velmont.exe");
  Workstation::Write(target, "running copy");
  Workstation::ShiftTime(target, std::chrono::hours(-1));
  HANDLE held = CreateFileW(WidePath(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::string staged = ws.Stage("program/Velmont.exe", "new copy");
  const bool placed = PlaceStagedFile(ws.state, "7.5.13", staged);
  CloseHandle(held);
  EXPECT_FALSE(placed);
  EXPECT_EQ(ReadFileBytes(target), "running copy");
  EXPECT_EQ(ReadFileBytes(ws.Program("NewUpdate/program/Velmont.exe")), "new copy");
  EXPECT_FALSE(FileExists(PlacementTempPath(target)));
  EXPECT_TRUE(ws.OfflineRecords().empty());
}

}  // namespace
}  // namespace quillmend

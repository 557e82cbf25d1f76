// The resources quillmend.exe carries: the icon its window and tray show, and the version
// resource (read back through the system's own functions).
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/wide.h"
#include "program_version.h"

namespace quillmend {
namespace {

struct Module {
  explicit Module(const char* path)
      : handle(LoadLibraryExW(Wide(path).c_str(), nullptr,
                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~Module() {
    if (handle != nullptr) FreeLibrary(handle);
  }
  HMODULE handle;
};

TEST(ProgramResources, TheAgentCarriesItsIconInEverySizeTheTrayAndWindowUse) {
  Module agent(QUILLMEND_AGENT_EXE);
  ASSERT_NE(agent.handle, nullptr) << QUILLMEND_AGENT_EXE;
  EXPECT_NE(FindResourceW(agent.handle, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr);
  for (int size : {16, 32, 48}) {
    SCOPED_TRACE(size);
    HANDLE icon = LoadImageW(agent.handle, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(static_cast<HICON>(icon));
  }
}

TEST(ProgramResources, TheVersionResourceNamesTheProgramsVersion) {
  const std::wstring path = Wide(QUILLMEND_AGENT_EXE);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(static_cast<int>(HIWORD(fixed->dwFileVersionMS)), kVersionMajor);
  EXPECT_EQ(static_cast<int>(LOWORD(fixed->dwFileVersionMS)), kVersionMinor);
  EXPECT_EQ(static_cast<int>(HIWORD(fixed->dwFileVersionLS)), kVersionRevision);
}

}  // namespace
}  // namespace quillmend

// The Win32 window under the real window manager (Wine in CI): its window and tray icon are
// created, input reaches the window's logic, and it closes cleanly.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/wide.h"
#include "ui/win32/win32_host.h"
#include "ui_test_support.h"

namespace quillmend {
namespace {

struct Win32Window : ::testing::Test {
  void SetUp() override {
    host = Win32Host::Create(ScriptedAnswers({true}, false));
    ASSERT_NE(host, nullptr);
    state.ui_ = host.get();
    window = std::make_unique<FrmFiles>(state, *host);
    window->SetPasses(&passes);
    window->Load();
    window->Show();
    host->DoEvents();
    hwnd = reinterpret_cast<HWND>(host->WindowHandle());
    ASSERT_NE(hwnd, nullptr);
  }
  void TearDown() override {
    window.reset();
    host.reset();
  }
  void PressWithCtrl(WPARAM key) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    PostMessageW(hwnd, WM_KEYDOWN, key, 1);
    host->DoEvents();
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
  }

  SharedState state;
  testing::RecordingPasses passes;
  std::unique_ptr<Win32Host> host;
  std::unique_ptr<FrmFiles> window;
  HWND hwnd = nullptr;
};

TEST_F(Win32Window, ShowsTheCompactWindowWithItsCaptionAndTrayIcon) {
  EXPECT_TRUE(host->WindowShown());
  wchar_t text[128] = {};
  GetWindowTextW(hwnd, text, 128);
  EXPECT_EQ(std::wstring(text), Wide(window->caption));
  // Other windows of this title may exist (tests run side by side): ours is among them.
  EXPECT_NE(FindWindowW(L"QuillmendFrmFiles", Wide(window->caption).c_str()), nullptr);
  EXPECT_EQ(host->WindowHeightPixels(), 2500 / 15);
  EXPECT_TRUE(host->TrayPresent());
  EXPECT_EQ(host->ControlText(ControlId::cmdAuto), L"자동다운로드");
  EXPECT_EQ(host->ControlText(ControlId::lblCaption0), L"최신 버전 설치가 완료되었습니다");
  EXPECT_TRUE(host->ControlShown(ControlId::cmdAuto));
  EXPECT_FALSE(host->ControlShown(ControlId::cmdVer));
  // Lower right of the work area.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT r{};
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.right, work.right);
  EXPECT_EQ(r.bottom, work.bottom);
}

TEST_F(Win32Window, TheProgramsOwnIconIsTheWindowsAndTheTrayRecordsIcon) {
  // This executable carries the program's icon resource, as quillmend.exe does.
  const HICON own = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  ASSERT_NE(own, nullptr);
  EXPECT_NE(own, LoadIconW(nullptr, IDI_APPLICATION));
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICON)), own);
  EXPECT_EQ(window->tray_record().hIcon, reinterpret_cast<std::uintptr_t>(own));
  EXPECT_EQ(window->tray_record().hWnd, reinterpret_cast<std::uintptr_t>(hwnd));
}

TEST_F(Win32Window, CtrlFunctionKeysAndButtonsReachTheWindow) {
  PressWithCtrl(VK_F10);
  EXPECT_TRUE(window->cmdDown.visible);
  EXPECT_TRUE(host->ControlShown(ControlId::cmdDown));
  EXPECT_EQ(host->WindowHeightPixels(), 8000 / 15);
  PostMessageW(hwnd, WM_KEYDOWN, VK_F11, 1);  // without Ctrl: nothing
  host->DoEvents();
  EXPECT_TRUE(window->cmdDown.visible);
  PressWithCtrl(VK_F11);
  EXPECT_FALSE(host->ControlShown(ControlId::cmdDown));
  SendMessageW(GetDlgItem(hwnd, 100 + static_cast<int>(ControlId::cmdAuto)), BM_CLICK, 0, 0);
  EXPECT_EQ(passes.autos, 1);
}

TEST_F(Win32Window, TrayNotificationsRestoreAndTheIconComesBackWithTheTaskBar) {
  window->Minimize();
  host->DoEvents();
  EXPECT_FALSE(host->WindowShown());
  // Mouse moves over the window are not tray notifications, whatever their position.
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(kTrayLeftButtonUp, 10));
  EXPECT_FALSE(window->visible);
  SendMessageW(hwnd, kTrayCallbackMessage, 1, WM_LBUTTONUP);
  EXPECT_TRUE(host->WindowShown());
  const int adds = host->TrayAdds();
  SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_EQ(host->TrayAdds(), adds + 1);
  EXPECT_TRUE(host->TrayPresent());
}

TEST_F(Win32Window, TheCloseBoxConfirmedUnloadsAndTheLoopEnds) {
  state.g_ContinueUpdate = true;
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  host->DoEvents();
  EXPECT_TRUE(window->unloaded());
  EXPECT_FALSE(host->TrayPresent());
  EXPECT_FALSE(host->WindowShown());
  EXPECT_FALSE(state.g_ContinueUpdate);
  EXPECT_EQ(host->RunLoop(), 0);
}


TEST_F(Win32Window, ExitConfirmedWhileAPassYieldsEndsTheLoopOnceThePassUnwinds) {
  int yields = 0;
  passes.during_auto = [&] {
    state.pass_running_ = true;
    for (int step = 0; step < 10; ++step) {
      if (step == 3) PostMessageW(hwnd, WM_CLOSE, 0, 0);
      host->DoEvents();
      ++yields;
    }
    state.pass_running_ = false;
  };
  window->cmdAuto_Click();
  EXPECT_EQ(yields, 10);
  EXPECT_TRUE(window->unloaded());
  EXPECT_FALSE(host->TrayPresent());
  EXPECT_FALSE(host->WindowShown());
  EXPECT_EQ(host->RunLoop(), 0);
}

}  // namespace
}  // namespace quillmend

// The window port: what every subsystem needs from the window toolkit. One implementation per
// adapter (Qt6 on Linux, Win32 on Windows, headless). All calls happen on the one UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/window_geometry.h"

namespace quillmend {

class FrmFiles;

class UiHost {
 public:
  virtual ~UiHost() = default;

  // A modal Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
  // A modal message with an OK button; returns when it is dismissed.
  virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
  // The busy (hourglass) mouse pointer on or off.
  virtual void SetBusyPointer(bool busy) = 0;
  // Processes pending window events and due timers once, and brings the rendered window up to
  // date with the window state. Long work calls this between steps.
  virtual void DoEvents() = 0;
  // Runs the message loop until Quit(); returns the process exit code.
  virtual int RunLoop() = 0;
  // Ends RunLoop() after the current event.
  virtual void Quit() = 0;
  // True when the window is rendered somewhere a person can see it.
  virtual bool HasDisplay() const { return false; }
  // Tray icon: add with a tip, change the tip, remove. No result is checked.
  virtual void TrayAdd(const std::string& tip) { (void)tip; }
  virtual void TrayModify(const std::string& tip) { (void)tip; }
  virtual void TrayDelete() {}
  // The native window and the program's icon the tray record names (0 where there are none).
  virtual std::uintptr_t NativeWindow() const { return 0; }
  virtual std::uintptr_t WindowIcon() const { return 0; }
  // True when an icon in the notification area can be shown: without one, the minimised window
  // is not hidden (it would be unreachable).
  virtual bool HasTray() const { return true; }

  // The window this adapter renders and feeds with input; nullptr detaches it. Called by the
  // window itself when it is created and destroyed.
  virtual void AttachWindow(FrmFiles* window) { (void)window; }
  // Brings the rendered window to the foreground (SetForegroundWindow).
  virtual void BringToFront() {}
  // Pops up a menu at the mouse pointer; returns the index of the chosen item, or -1 when the
  // menu was dismissed or cannot be shown.
  virtual int PopupMenu(const std::vector<std::string>& items) {
    (void)items;
    return -1;
  }
  // The screen and its work area.
  virtual ScreenMetrics Screen() const { return ScreenMetrics{}; }
};

// The program's title, used for message boxes that name no other title.
inline constexpr const char* kProgramTitle = "Quillmend";

}  // namespace quillmend

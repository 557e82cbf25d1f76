// The Win32 window adapter: a real window with common controls rendering frmFiles (list view
// with check boxes, progress bars), the notification-area icon through Shell_NotifyIcon (added
// again when the task bar restarts), message boxes. No Windows header appears here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ui/scripted_answers.h"
#include "ui/ui_host.h"
#include "ui/window_geometry.h"

namespace quillmend {

class Win32Host : public UiHost {
 public:
  // answers: when given, questions are answered from it and printed instead of shown.
  // nullptr when the window class cannot be registered.
  static std::unique_ptr<Win32Host> Create(std::optional<ScriptedAnswers> answers);
  ~Win32Host() override;

  bool AskYesNo(const std::string& title, const std::string& text) override;
  void ShowMessage(const std::string& title, const std::string& text) override;
  void SetBusyPointer(bool busy) override;
  void DoEvents() override;
  // The message loop until Quit(); returns at once when Quit() came first.
  int RunLoop() override;
  void Quit() override;
  bool HasDisplay() const override { return true; }
  void TrayAdd(const std::string& tip) override;
  void TrayModify(const std::string& tip) override;
  void TrayDelete() override;
  // The form and the program's own icon (resource 1 of the executable; the system's application
  // icon when the executable has none). The window class and the tray icon use the same icon.
  std::uintptr_t NativeWindow() const override;
  std::uintptr_t WindowIcon() const override;
  void AttachWindow(FrmFiles* window) override;
  void BringToFront() override;
  int PopupMenu(const std::vector<std::string>& items) override;
  ScreenMetrics Screen() const override;

  // The rendered state, for tests.
  std::uintptr_t WindowHandle() const;
  bool WindowShown() const;
  bool ControlShown(ControlId id) const;
  std::wstring ControlText(ControlId id) const;
  int WindowHeightPixels() const;
  // True between an icon add and its delete; the counts of adds (re-adds included).
  bool TrayPresent() const;
  int TrayAdds() const;

 private:
  explicit Win32Host(std::optional<ScriptedAnswers> answers);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmend

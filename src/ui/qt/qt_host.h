// The Qt6 Widgets window adapter (Linux): a real window rendering frmFiles, an icon in the
// notification area where the desktop has one (otherwise the window is never hidden), modal
// message boxes. No Qt type appears in this header.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/scripted_answers.h"
#include "ui/ui_host.h"
#include "ui/window_geometry.h"

namespace quillmend {

class QtHost : public UiHost {
 public:
  // True when Qt can start here: QT_QPA_PLATFORM names a platform or a display answers.
  static bool CanStart();
  // The adapter; the application object is created on first use and lives for the process.
  // answers: when given, questions are answered from it and printed instead of shown.
  static std::unique_ptr<QtHost> Create(std::optional<ScriptedAnswers> answers);
  ~QtHost() override;

  bool AskYesNo(const std::string& title, const std::string& text) override;
  void ShowMessage(const std::string& title, const std::string& text) override;
  void SetBusyPointer(bool busy) override;
  void DoEvents() override;
  // Runs the application's event loop until Quit(); returns at once when Quit() came first
  // (an exit confirmed while the start-up pass was still yielding).
  int RunLoop() override;
  void Quit() override;
  bool HasDisplay() const override { return true; }
  void TrayAdd(const std::string& tip) override;
  void TrayModify(const std::string& tip) override;
  void TrayDelete() override;
  bool HasTray() const override;
  void AttachWindow(FrmFiles* window) override;
  void BringToFront() override;
  int PopupMenu(const std::vector<std::string>& items) override;
  ScreenMetrics Screen() const override;

  // Brings the widgets up to date and saves the window's client area as a PNG file.
  bool SaveWindowImage(const std::string& path);
  // The rendered state, for tests.
  bool WindowShown() const;
  bool ControlShown(ControlId id) const;
  int ClientHeightPixels() const;
  bool TrayShown() const;

 private:
  explicit QtHost(std::optional<ScriptedAnswers> answers);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmend

// Shared pieces of the window tests: a scripted host that records what the window asked of it,
// passes that record their calls, and a clock the tests move by hand.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/components.h"  // SharedState owns the components
#include "ui/frm_files.h"
#include "ui/headless/headless_host.h"
#include "ui/update_passes.h"

namespace quillmend::testing {

class ManualClock {
 public:
  TimerPump::Clock::time_point now = TimerPump::Clock::time_point{} + std::chrono::hours(1);
  void Advance(std::chrono::milliseconds by) { now += by; }
  std::function<TimerPump::Clock::time_point()> Source() {
    return [this] { return now; };
  }
};

class TestHost : public HeadlessHost {
 public:
  explicit TestHost(std::vector<bool> answers = {}) : HeadlessHost(std::move(answers), false) {
    SetPrintStateLines(false);
  }
  bool AskYesNo(const std::string& title, const std::string& text) override {
    ++questions;
    if (on_question) on_question();
    return HeadlessHost::AskYesNo(title, text);
  }
  void DoEvents() override {
    ++do_events;
    HeadlessHost::DoEvents();
  }
  void BringToFront() override { ++brought_to_front; }
  int PopupMenu(const std::vector<std::string>& items) override {
    menus.push_back(items);
    return menu_choice;
  }
  bool HasTray() const override { return has_tray; }
  ScreenMetrics Screen() const override { return {1920, 1080, 0, 0, 1920, 1040}; }

  std::function<void()> on_question;
  int questions = 0;
  int do_events = 0;
  int brought_to_front = 0;
  int menu_choice = -1;
  bool has_tray = true;
  std::vector<std::vector<std::string>> menus;
};

// Records each pass started; the automatic pass runs `during_auto` when set (a pass that yields).
class RecordingPasses : public UpdatePasses {
 public:
  void Auto() override {
    ++autos;
    if (during_auto) during_auto();
  }
  void Down() override { ++downs; }
  void Copy() override { ++copies; }
  void Apply() override { ++applies; }
  void Versions() override { ++versions; }

  std::function<void()> during_auto;
  int autos = 0, downs = 0, copies = 0, applies = 0, versions = 0;
};

// A window with its own state, scripted host, passes and clock.
struct WindowFixture {
  explicit WindowFixture(std::vector<bool> answers = {}) : host(std::move(answers)) {
    state.ui_ = &host;
    window.SetPasses(&passes);
    window.SetTimerClock(clock.Source());
    state.frmFiles = &window;
  }
  SharedState state;
  TestHost host;
  RecordingPasses passes;
  ManualClock clock;
  FrmFiles window{state, host};
};

}  // namespace quillmend::testing

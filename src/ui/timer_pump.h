// Fires the window's timers from a monotonic clock. Every adapter runs it from its message loop
// and from DoEvents, so timers tick while long work yields.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <optional>

#include "ui/controls.h"

namespace quillmend {

class TimerPump {
 public:
  using Clock = std::chrono::steady_clock;
  // A tick returns false to defer itself: it then fires again at the next Run.
  using Tick = std::function<bool()>;
  static constexpr int kMaxTimers = 4;

  // clock: the time source (steady_clock::now unless a test gives its own).
  explicit TimerPump(std::function<Clock::time_point()> clock = &Clock::now);

  // Watches timer: enabled -> first tick one interval after the pump saw it enabled (or saw its
  // interval change); disabled -> no tick. Up to kMaxTimers timers; timer must outlive the pump.
  void Add(TimerControl& timer, Tick tick);

  // Fires every watched timer that is due, each at most once per call, then schedules its next
  // tick one interval after the tick returned. A timer whose tick is still running (because the
  // tick yields and the yield runs the pump again) is not fired inside itself.
  void Run();

  // How long until a Run may fire a tick: zero when a timer was started, stopped or changed
  // since the last Run (the next Run must see it) or a tick is overdue; nullopt when no timer
  // runs. A loop with nothing else to do may sleep this long.
  std::optional<Clock::duration> TimeUntilNextTick() const;

  void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

 private:
  struct Slot {
    TimerControl* timer = nullptr;
    Tick tick;
    bool armed = false;
    bool firing = false;
    int armed_interval = 0;
    Clock::time_point due{};
  };
  std::function<Clock::time_point()> clock_;
  std::array<Slot, kMaxTimers> slots_{};
  int count_ = 0;
};

}  // namespace quillmend

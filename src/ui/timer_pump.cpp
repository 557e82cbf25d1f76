#include "ui/timer_pump.h"

#include <stdexcept>

namespace quillmend {
namespace {

TimerPump::Clock::duration Interval(int milliseconds) {
  // An interval of 0 never fires (a stopped timer, as the platform's timers treat it).
  return std::chrono::milliseconds(milliseconds);
}

}  // namespace

TimerPump::TimerPump(std::function<Clock::time_point()> clock) : clock_(std::move(clock)) {}

void TimerPump::Add(TimerControl& timer, Tick tick) {
  if (count_ == kMaxTimers) throw std::logic_error("TimerPump: too many timers");
  slots_[count_].timer = &timer;
  slots_[count_].tick = std::move(tick);
  ++count_;
}

void TimerPump::Run() {
  for (int i = 0; i < count_; ++i) {
    Slot& slot = slots_[i];
    const TimerControl& timer = *slot.timer;
    if (!timer.enabled || timer.interval_ms <= 0) {
      slot.armed = false;
      continue;
    }
    if (slot.firing) continue;
    const Clock::time_point now = clock_();
    if (!slot.armed || slot.armed_interval != timer.interval_ms) {
      slot.armed = true;
      slot.armed_interval = timer.interval_ms;
      slot.due = now + Interval(timer.interval_ms);
      continue;
    }
    if (now < slot.due) continue;
    slot.firing = true;
    const bool done = slot.tick();
    slot.firing = false;
    if (!done) continue;  // deferred: still due
    // The tick may have stopped and restarted its timer while it yielded; either way the next
    // tick is one interval from now.
    if (slot.timer->enabled && slot.timer->interval_ms > 0) {
      slot.armed = true;
      slot.armed_interval = slot.timer->interval_ms;
      slot.due = clock_() + Interval(slot.timer->interval_ms);
    } else {
      slot.armed = false;
    }
  }
}

std::optional<TimerPump::Clock::duration> TimerPump::TimeUntilNextTick() const {
  std::optional<Clock::duration> next;
  const Clock::time_point now = clock_();
  for (int i = 0; i < count_; ++i) {
    const Slot& slot = slots_[i];
    const TimerControl& timer = *slot.timer;
    const bool running = timer.enabled && timer.interval_ms > 0;
    Clock::duration wait{};
    if (!running) {
      if (!slot.armed) continue;  // stopped, and the pump knows it
    } else if (slot.firing) {
      continue;  // its tick is running now
    } else if (slot.armed && slot.armed_interval == timer.interval_ms && slot.due > now) {
      wait = slot.due - now;
    }
    if (!next || wait < *next) next = wait;
  }
  return next;
}

}  // namespace quillmend

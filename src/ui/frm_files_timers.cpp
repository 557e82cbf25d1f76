// The window's three timers: the schedule timer (online), the offline timer and the speed timer.
#include <algorithm>
#include <chrono>

#include "startup/diagnostics.h"
#include "ui/frm_files.h"
#include "ui/speed_text.h"

namespace quillmend {

void FrmFiles::timCheck_Timer() {
  ++elapsed_minutes;
  Label5.caption = "인터넷 연결(" + std::to_string(elapsed_hours) + "/" +
                   std::to_string(elapsed_minutes) + ")" + std::to_string(schedule_hours) + "시 " +
                   std::to_string(schedule_minutes) + " 분";
  if (elapsed_minutes > 59) {
    elapsed_minutes = 0;
    ++elapsed_hours;
  }
  if (elapsed_hours > 24) elapsed_hours = 0;
  if (schedule_hours == elapsed_hours && schedule_minutes == elapsed_minutes) {
    elapsed_hours = 0;
    elapsed_minutes = 0;
    RunScheduledPass("timCheck");
  } else if (schedule_hours == 0 && schedule_minutes == 0) {
    // No schedule read yet: every tick runs the automatic pass.
    RunScheduledPass("timCheck");
  }
}

void FrmFiles::timCopy_Timer() {
  ++elapsed_minutes;
  Label5.caption = "인터넷 미연결(" + std::to_string(elapsed_minutes) + ")";
  if (elapsed_minutes > 9) {
    elapsed_minutes = 0;
    RunScheduledPass("timCopy");
  }
}

void FrmFiles::RunScheduledPass(const char* what) {
  if (state_.pass_running_) {
    // Not lost for a whole interval: the pass runs as soon as the running one has ended.
    if (!pass_owed_) LogLine(std::string(what) + ": a pass is running; this one follows it");
    pass_owed_ = true;
    return;
  }
  cmdAuto_Click();
}

void FrmFiles::RunOwedPass() {
  if (!pass_owed_ || state_.pass_running_ || exit_question_open_ || unloading_ || unloaded_) {
    return;
  }
  pass_owed_ = false;
  cmdAuto_Click();
}

void FrmFiles::timCPS_Timer() {
  lblCPS.caption = SpeedText(state_.bytes_counter_);
  state_.bytes_counter_ = 0;
}

bool FrmFiles::CheckTick() {
  // While the exit question is open the tick waits: it must not start a pass behind the box.
  if (exit_question_open_ || unloading_ || unloaded_) return false;
  timCheck_Timer();
  return true;
}

bool FrmFiles::CopyTick() {
  if (exit_question_open_ || unloading_ || unloaded_) return false;
  timCopy_Timer();
  return true;
}

void FrmFiles::Poll() {
  if (unloaded_) return;
  Form_Resize();
  pump_.Run();
  RunOwedPass();
}

std::optional<int> FrmFiles::MillisecondsUntilNextTimer() const {
  if (unloaded_) return std::nullopt;
  if (pass_owed_ && !state_.pass_running_) return 0;
  const std::optional<TimerPump::Clock::duration> wait = pump_.TimeUntilNextTick();
  if (!wait) return std::nullopt;
  // Rounded up: waking a little late fires the tick, waking early only turns the loop again.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
  return static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000));
}

}  // namespace quillmend

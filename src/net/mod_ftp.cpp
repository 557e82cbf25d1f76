#include "net/mod_ftp.h"

#include <limits>

#include "platform/local_time.h"
#include "platform/programs.h"
#include "platform/system_info.h"
#include "startup/shared_state.h"
#include "ui/ui_host.h"

namespace quillmend {
namespace {

constexpr int kWaitCycleMs = 100;
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr unsigned kErrorInvalidParameter = 87;

}  // namespace

void RunAndWait(SharedState& state, const std::string& command_line, int time_limit_ms) {
  std::string error;
  std::unique_ptr<ChildProcess> child =
      StartCommandLine(command_line, WindowStyle::kHidden, &error);
  if (!child) throw StartProgramError(error.empty() ? "cannot start " + command_line : error);
  // One cycle: let the window work, sleep, look at the process. A process that ends within the
  // first 100 ms is therefore waited for exactly one cycle.
  long long waited_ms = 0;
  do {
    if (waited_ms >= time_limit_ms) {
      child->Terminate();
      throw ProgramTimeoutError(command_line + ": still running after " +
                                std::to_string(time_limit_ms / 1000) + " s; ended");
    }
    if (state.ui_ != nullptr) state.ui_->DoEvents();
    SleepMilliseconds(kWaitCycleMs);
    waited_ms += kWaitCycleMs;
  } while (!child->HasExited());
}

FileTime FileTimeFromUnixSeconds(std::int64_t unix_seconds) {
  return static_cast<FileTime>((unix_seconds + kSecondsFrom1601To1970) * kTicksPerSecond);
}

double FileTimeToDate(SharedState& state, FileTime file_time) {
  // A file time the clock cannot hold (the sign bit set) cannot be converted.
  constexpr auto kLargest = static_cast<FileTime>(std::numeric_limits<std::int64_t>::max());
  if (file_time > kLargest) {
    if (state.ui_ != nullptr) state.ui_->ShowMessage(kProgramTitle, std::to_string(kErrorInvalidParameter));
    return 0;
  }
  // The offset that applies at that moment; moments outside the clock's range use today's.
  const auto ticks = static_cast<std::int64_t>(file_time);
  const std::int64_t utc_seconds = ticks / kTicksPerSecond - kSecondsFrom1601To1970;
  const std::int64_t offset_ticks = LocalUtcOffsetSeconds(utc_seconds) * kTicksPerSecond;
  if (offset_ticks > 0 && ticks > std::numeric_limits<std::int64_t>::max() - offset_ticks) {
    if (state.ui_ != nullptr) state.ui_->ShowMessage(kProgramTitle, std::to_string(kErrorInvalidParameter));
    return 0;
  }
  // Signed: west of UTC the first hours of 1601 give a local count below zero, which is the
  // plain arithmetic result, not a failure.
  const std::int64_t local = ticks + offset_ticks;
  // Milliseconds with four decimals (exact fixed point), then days since 1899-12-30.
  const long double milliseconds = static_cast<long double>(local) / 10000.0L;
  return static_cast<double>(milliseconds / 86400000.0L - 109205.0L);
}

}  // namespace quillmend

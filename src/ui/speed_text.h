// The transfer speed as the window shows it.
#pragma once

#include <cstdint>
#include <string>

namespace quillmend {

// bytes / 1024 formatted "0.0#" (one decimal always, a second one when it is not zero, rounded
// half away from zero) followed by " Kb/s": 0 -> "0.0 Kb/s", 12800 -> "12.5 Kb/s",
// 1000 -> "0.98 Kb/s". Negative counts (a wrapped counter) keep their sign.
std::string SpeedText(std::int64_t bytes);

}  // namespace quillmend

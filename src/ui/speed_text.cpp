#include "ui/speed_text.h"

#include <cmath>

namespace quillmend {

std::string SpeedText(std::int64_t bytes) {
  const long long hundredths = std::llround(static_cast<double>(bytes) * 100.0 / 1024.0);
  const bool negative = hundredths < 0;
  const long long magnitude = negative ? -hundredths : hundredths;
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 100) + "." + std::to_string(magnitude % 100 / 10);
  if (magnitude % 10 != 0) text += std::to_string(magnitude % 10);
  return text + " Kb/s";
}

}  // namespace quillmend

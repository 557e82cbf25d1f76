#include "ui/bar_range.h"

#include <cmath>

namespace quillmend {

BarRange DisplayedBarRange(const ProgressBarControl& bar) {
  double low = bar.min;
  double high = bar.max;
  double value = bar.value;
  if (!std::isfinite(low) || !std::isfinite(high) || !(high > low)) return {};
  constexpr double kLimit = 1e9;
  if (std::fabs(low) > kLimit || std::fabs(high) > kLimit) {
    value = (value - low) / (high - low) * kLimit;
    low = 0;
    high = kLimit;
  }
  if (!(value >= low)) value = low;  // a NaN value counts as none
  if (value > high) value = high;
  BarRange range;
  range.minimum = static_cast<int>(std::lround(low));
  range.maximum = static_cast<int>(std::lround(high));
  range.value = static_cast<int>(std::lround(value));
  if (range.maximum <= range.minimum) return {};
  return range;
}

}  // namespace quillmend

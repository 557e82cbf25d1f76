// The whole-number range handed to the platforms' progress bars.
#include <gtest/gtest.h>

#include <cmath>

#include "ui/bar_range.h"

namespace quillmend {
namespace {

ProgressBarControl Bar(float min, float max, float value) {
  ProgressBarControl bar;
  bar.min = min;
  bar.max = max;
  bar.value = value;
  return bar;
}

TEST(BarRange, SmallRangesPassUnchangedAndHugeOnesKeepTheirProportion) {
  const BarRange file = DisplayedBarRange(Bar(1, 66561, 1025));
  EXPECT_EQ(file.minimum, 1);
  EXPECT_EQ(file.maximum, 66561);
  EXPECT_EQ(file.value, 1025);

  // A file bar for a 3.5 GiB file, three quarters through: beyond what an int holds.
  const BarRange huge = DisplayedBarRange(Bar(1, 3758096384.0f, 2818572288.0f));
  EXPECT_EQ(huge.minimum, 0);
  EXPECT_EQ(huge.maximum, 1000000000);
  EXPECT_NEAR(huge.value, 750000000, 1000);
}

TEST(BarRange, EmptyRangesAndStrayValuesGiveAValidBar) {
  const BarRange empty = DisplayedBarRange(Bar(0, 0, 0));
  EXPECT_EQ(empty.minimum, 0);
  EXPECT_EQ(empty.maximum, 1);
  EXPECT_EQ(empty.value, 0);
  const BarRange above = DisplayedBarRange(Bar(0, 100, 250));
  EXPECT_EQ(above.value, 100);
  const BarRange none = DisplayedBarRange(Bar(0, 100, std::nanf("")));
  EXPECT_EQ(none.value, 0);
}

}  // namespace
}  // namespace quillmend

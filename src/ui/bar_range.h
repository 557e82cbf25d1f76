// The whole-number range a platform progress bar is given for a bar of the window model, whose
// range is a float that can exceed what the platform's integer range holds (a file bar runs up
// to the file's size, and listed sizes reach 4 GiB).
#pragma once

#include "ui/controls.h"

namespace quillmend {

struct BarRange {
  int minimum = 0;
  int maximum = 1;
  int value = 0;
};

// The bar's range and value as whole numbers, scaled down in proportion when the range does not
// fit below one billion. An empty or invalid range gives 0..1 at 0 (an empty range would make
// some platforms' bars a busy indicator); the value always lies within the range.
BarRange DisplayedBarRange(const ProgressBarControl& bar);

}  // namespace quillmend

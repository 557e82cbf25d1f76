// Waiting in tests for something another process or thread brings about, with a deadline.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string_view>
#include <thread>

namespace quillmend::testing {

// Checks `holds` every few milliseconds until it is true or `deadline` has passed. Returns
// whether it held; when it did not, the calling test fails with "timed out after N ms waiting
// for <what>". The deadline is a bound against hanging, not a measurement: pick it generously.
template <typename Predicate>
bool WaitUntil(Predicate holds, std::chrono::milliseconds deadline, std::string_view what) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    if (holds()) return true;
    if (std::chrono::steady_clock::now() >= end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "timed out after " << deadline.count() << " ms waiting for " << what;
  return false;
}

}  // namespace quillmend::testing

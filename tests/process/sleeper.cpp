// A program that does nothing but wait: the tests copy it under the product's program names and
// start the copies, also the way the agent starts the product's programs (with the argument T). It ends by itself after the given number of seconds (default 120), so that a
// copy a failed test leaves behind does not run for ever.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  // A non-numeric argument (the product's programs are started with "T") keeps the default.
  const bool numeric = argc > 1 && argv[1][0] >= '0' && argv[1][0] <= '9';
  const int seconds = numeric ? std::atoi(argv[1]) : 120;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return 0;
}

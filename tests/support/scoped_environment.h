// An environment variable changed for one scope and put back however the scope is left (a
// failed assertion included), so that one test's setting never leaks into the next.
#pragma once

#include <optional>
#include <string>

namespace quillmend::testing {

class ScopedEnvironment {
 public:
  // Sets name to value; nullopt removes it.
  ScopedEnvironment(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace quillmend::testing

#include "support/scoped_environment.h"

#include <cstdlib>
#include <utility>

#include "support/host_paths.h"

namespace quillmend::testing {
namespace {

void Put(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    SetEnvironment(name, *value);
  } else {
    RemoveEnvironment(name);
  }
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* saved = std::getenv(name_.c_str())) saved_ = saved;
  Put(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { Put(name_, saved_); }

}  // namespace quillmend::testing

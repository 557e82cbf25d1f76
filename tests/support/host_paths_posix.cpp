#include <cstdlib>

#include "support/host_paths.h"

namespace quillmend::testing {

std::string HostPathOf(const std::string& local_path) { return local_path; }
std::string LocalPathOfHost(const std::string& host_path) { return host_path; }

std::string GetEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
}

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void RemoveEnvironment(const std::string& name) { unsetenv(name.c_str()); }

bool HostEnvironmentIsFixed() { return false; }

}  // namespace quillmend::testing

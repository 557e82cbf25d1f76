// What the test support needs to know about the host that runs the ODBC driver: natively the
// process itself; under Wine the Linux host beneath the Windows process.
#pragma once

#include <string>

namespace quillmend::testing {

// A path of this process as a host path, and a host path as a path this process can open.
std::string HostPathOf(const std::string& local_path);
std::string LocalPathOfHost(const std::string& host_path);
// The process environment ("" when unset) and setting it for this process.
std::string GetEnvironment(const std::string& name);
void SetEnvironment(const std::string& name, const std::string& value);
// Removes name from this process's environment.
void RemoveEnvironment(const std::string& name);
// True when the host's environment cannot be changed from inside (Wine).
bool HostEnvironmentIsFixed();

}  // namespace quillmend::testing

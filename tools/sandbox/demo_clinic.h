// The clinic of the demo: installed 7.5.12; 7.5.13 and 7.6.0 published to the customer.
//   7.5.13  program/Velmont.exe  program/Reports/monthly.rpt  system/orvelgrid.ocx
//   7.6.0   program/Velmont.exe  program/updateInfo7.6.0.ini  system/orvelchart.dll
// The product's main screen (Velmont.exe, in the program folder and in both versions) is a copy
// of a program that only waits; controls are registered with a stand-in tool that logs them.
#pragma once

#include <string>
#include <vector>

#include "clinic_sandbox.h"

namespace quillmend::sandbox {

inline constexpr const char* kDemoInstalled = "7.5.12";
inline const std::vector<std::string> kDemoVersions = {"7.5.13", "7.6.0"};

// sleeper: the waiting program; register_tool: the stand-in registration tool.
void CreateDemoClinic(const SandboxLayout& layout, const std::string& sleeper,
                      const std::string& register_tool);

}  // namespace quillmend::sandbox

// What the backends' system-call tables ask of the fault rules (fault_injection.h). Internal to
// src/platform: subsystems never include it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fault_injection.h"

namespace quillmend::fault {

// Counts one call of `operation` on `path` against every rule and returns the error to fail
// it with, if a rule says so. `second_path` is the other path of a rename ("" otherwise).
std::optional<FaultError> TakeFault(FaultOperation operation, std::string_view path,
                                    std::string_view second_path = {});

// The path a handle was opened with while the rules were installed ("" when unknown). The
// checking calls remember it at open and forget it at close.
void RememberHandle(std::intptr_t handle, std::string_view path);
void ForgetHandle(std::intptr_t handle);
std::string HandlePath(std::intptr_t handle);

// Implemented by each backend: puts the checking calls (true) or the platform's own calls
// (false) into its table.
void UseCheckingSystemCalls(bool checking);
// The same for the ODBC calls of odbc_sdk.h (shared by both backends).
void UseCheckingOdbcCalls(bool checking);

}  // namespace quillmend::fault

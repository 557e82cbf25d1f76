// The product's three in-house components: the registered ones where the platform can create
// them, otherwise built-in stand-ins that keep the same members working.
#pragma once

#include <memory>
#include <string>

#include "platform/components.h"
#include "startup/shared_state.h"

namespace quillmend {

inline constexpr const char* kQdbProgId = "Qdb.clsQdb";
inline constexpr const char* kKitProgId = "gKit.clsKit";
inline constexpr const char* kEnvProgId = "Env.clsEnv";

// Creates the component for prog_id; when it cannot be created, logs that and returns the
// built-in stand-in. Never returns nullptr.
std::unique_ptr<AutomationObject> CreateInHouseComponent(const std::string& prog_id);

// Creates g_Qdb, g_Kit, g_Env in that order.
void CreateInHouseComponents(SharedState& state);

// Reads a value through g_Env's FsEnvGetINIString; when the component is missing or the call
// fails, reads the file directly with the same semantics.
std::string EnvGetIniString(SharedState& state, const std::string& file,
                            const std::string& section, const std::string& key,
                            const std::string& default_value);

}  // namespace quillmend

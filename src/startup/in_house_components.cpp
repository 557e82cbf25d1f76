#include "startup/in_house_components.h"

#include "startup/diagnostics.h"
#include "startup/settings.h"

namespace quillmend {
namespace {

// Stand-in for a component that is not registered: keeps the references it is given, accepts
// IniDlls, and reads INI values with the same semantics as the settings routines.
class StandInComponent final : public AutomationObject {
 public:
  bool SetObjectProperty(const std::string&, AutomationObject&) override { return true; }
  bool SetConnection(const std::string&, const std::string&) override { return true; }
  bool CallMethod(const std::string&) override { return true; }
  std::optional<std::string> GetIniString(const std::string& file, const std::string& section,
                                          const std::string& key,
                                          const std::string& default_value) override {
    return ReadIniValue(file, section, key, default_value);
  }
};

}  // namespace

std::unique_ptr<AutomationObject> CreateInHouseComponent(const std::string& prog_id) {
  if (auto registered = CreateRegisteredComponent(prog_id)) return registered;
  LogLine("component " + prog_id + " cannot be created; using the built-in stand-in");
  return std::make_unique<StandInComponent>();
}

void CreateInHouseComponents(SharedState& state) {
  state.g_Qdb = CreateInHouseComponent(kQdbProgId);
  state.g_Kit = CreateInHouseComponent(kKitProgId);
  state.g_Env = CreateInHouseComponent(kEnvProgId);
}

std::string EnvGetIniString(SharedState& state, const std::string& file,
                            const std::string& section, const std::string& key,
                            const std::string& default_value) {
  if (state.g_Env) {
    if (auto value = state.g_Env->GetIniString(file, section, key, default_value)) return *value;
  }
  return ReadIniValue(file, section, key, default_value);
}

}  // namespace quillmend

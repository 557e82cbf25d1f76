// Port: the product's in-house automation components ("Qdb.clsQdb", "gKit.clsKit",
// "Env.clsEnv"), driven late-bound through exactly the members the agent uses.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace quillmend {

class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  // Assigns another component to an object property by reference ("mca", "mcs").
  // Returns false when the call failed. A built-in stand-in given to a registered component is
  // not assigned (it is no object the component could call) and that is no failure, so a mix of
  // registered and built-in components keeps the clinic database usable.
  virtual bool SetObjectProperty(const std::string& name, AutomationObject& value) = 0;
  // Assigns the open clinic database connection (given by its connection string) to "DbCnn".
  virtual bool SetConnection(const std::string& name, const std::string& connection_string) = 0;
  // Calls a method without arguments ("IniDlls").
  virtual bool CallMethod(const std::string& name) = 0;
  // Calls FsEnvGetINIString(file, section, key, default); nullopt when the call failed.
  virtual std::optional<std::string> GetIniString(const std::string& file,
                                                  const std::string& section,
                                                  const std::string& key,
                                                  const std::string& default_value) = 0;
};

// Creates the registered component for prog_id. Windows: COM by ProgID, late-bound IDispatch.
// POSIX: there is no registry of components; always nullptr. nullptr means "cannot be created".
std::unique_ptr<AutomationObject> CreateRegisteredComponent(const std::string& prog_id);

}  // namespace quillmend

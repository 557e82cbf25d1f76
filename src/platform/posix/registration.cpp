// POSIX has no registry of controls: the command that stands in for the registration tool is
// configured in quillmend.ini ([Platform] RegisterCommand); without it nothing is registered.
#include "platform/registration.h"

#include "startup/agent_settings.h"

namespace quillmend {

std::string RegistrationProgram(const SharedState& state) {
  return AgentSetting(state, "Platform", "RegisterCommand");
}

}  // namespace quillmend

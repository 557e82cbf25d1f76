// POSIX has no registry of controls: the command that stands in for the registration tool is
// configured in quillmend.ini ([Platform] RegisterCommand); without it nothing is registered.
#include "platform/registration.h"

namespace quillmend {

std::string RegistrationProgram(const std::string& /*system_folder*/,
                                const std::string& configured_command) {
  return configured_command;
}

}  // namespace quillmend

// Windows registers controls and libraries with regsvr32 of the system folder.
#include "platform/registration.h"

namespace quillmend {

std::string RegistrationProgram(const std::string& system_folder,
                                const std::string& /*configured_command*/) {
  return system_folder + "\\regsvr32";
}

}  // namespace quillmend

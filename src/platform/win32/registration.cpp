// Windows registers controls and libraries with regsvr32 of the system folder.
#include "platform/registration.h"

namespace quillmend {

std::string RegistrationProgram(const SharedState& state) {
  return state.g_SystemFolder + "\\regsvr32";
}

}  // namespace quillmend

// POSIX: the registration command is configured in quillmend.ini.
#include "startup/settings.h"
#include "workstation.h"

namespace quillmend::testing {

void InstallRegistrationRecorder(Workstation& workstation) {
  WriteIniValue(workstation.Program("quillmend.ini"), "Platform", "RegisterCommand",
                QM_REGISTER_RECORDER);
}

}  // namespace quillmend::testing

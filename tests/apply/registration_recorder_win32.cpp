// Windows: the registration tool is regsvr32.exe of the system folder; the workstation's own
// system folder gets the recorder under that name.
#include <filesystem>

#include "platform/file_names.h"
#include "workstation.h"

namespace quillmend::testing {

void InstallRegistrationRecorder(Workstation& workstation) {
  std::filesystem::copy_file(FsPath(QM_REGISTER_RECORDER),
                             FsPath(workstation.System("regsvr32.exe")),
                             std::filesystem::copy_options::overwrite_existing);
}

}  // namespace quillmend::testing

// The toolkit adapter of the Windows build: a Win32 window.
#include "ui/adapter_factory.h"
#include "ui/win32/win32_host.h"

namespace quillmend {

std::unique_ptr<UiHost> CreateToolkitHost() {
  return Win32Host::Create(ScriptedAnswers::FromEnvironmentIfSet());
}

}  // namespace quillmend

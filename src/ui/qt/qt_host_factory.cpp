// The toolkit adapter of the Linux build: Qt6 Widgets.
#include "ui/adapter_factory.h"
#include "ui/qt/qt_host.h"

namespace quillmend {

std::unique_ptr<UiHost> CreateToolkitHost() {
  if (!QtHost::CanStart()) return nullptr;
  return QtHost::Create(ScriptedAnswers::FromEnvironmentIfSet());
}

}  // namespace quillmend

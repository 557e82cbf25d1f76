// Placeholder until the Win32 adapter is built: no toolkit window.
#include "ui/adapter_factory.h"

namespace quillmend {
std::unique_ptr<UiHost> CreateToolkitHost() { return nullptr; }
}  // namespace quillmend

// Builds without a window toolkit: only the headless adapter exists.
#include "ui/adapter_factory.h"

namespace quillmend {
std::unique_ptr<UiHost> CreateToolkitHost() { return nullptr; }
}  // namespace quillmend

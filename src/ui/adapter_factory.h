// Creates the window adapter the automation contract asks for (QUILLMEND_UI).
#pragma once

#include <memory>

#include "ui/ui_host.h"

namespace quillmend {

class FrmFiles;

// The toolkit adapter of this platform (Qt6 on Linux, Win32 on Windows), or nullptr when none is
// built or no display is reachable. Implemented by the toolkit folder CMake picks.
std::unique_ptr<UiHost> CreateToolkitHost();

// QUILLMEND_UI: "headless" forces the headless adapter; "qt"/"win32" ask for the toolkit;
// "auto" (default) takes the toolkit when a display is reachable, else headless.
std::unique_ptr<UiHost> CreateUiHost();

}  // namespace quillmend

// Main: the start-up sequence of both branches (another instance running, or the first one).
#pragma once

#include <memory>
#include <string>

#include "platform/instance_lock.h"
#include "startup/shared_state.h"

namespace quillmend {

struct StartupOutcome {
  bool first_instance = false;
  // Held for the life of the first instance; releasing it lets another instance start.
  std::unique_ptr<InstanceLock> lock;
};

// The program folder: QUILLMEND_PROGRAM_FOLDER when set, else the executable's folder.
std::string DetermineProgramFolder();

// Runs Main's sequence on state (whose program_folder_, ui_ and frmFiles are set). The second
// instance runs its branch completely; the first instance runs up to and including the first
// automatic pass and then returns, leaving the rest to the window's message loop.
StartupOutcome Main(SharedState& state);

// The whole process: program folder, current folder, window adapter, Main, message loop.
// Returns the process exit code.
int RunAgent();

}  // namespace quillmend

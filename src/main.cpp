// Process entry of the agent. No command-line arguments are read.
#include "platform/fault_injection.h"
#include "startup/main_sequence.h"

int main() {
  // Tests give agent processes file and socket failures through QUILLMEND_FAULTS.
  quillmend::InstallFaultsFromEnvironment();
  return quillmend::RunAgent();
}

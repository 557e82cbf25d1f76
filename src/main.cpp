// Process entry of the agent. No command-line arguments are read.
#include "startup/main_sequence.h"

int main() { return quillmend::RunAgent(); }

// CAB archives for tests, made with the real gcab tool, and the ways tests damage them.
#pragma once

#include <string>
#include <vector>

#include "support/program_bytes.h"

namespace quillmend::testing {

// Runs a shell command line; returns its exit status (-1 when it could not run).
int RunShell(const std::string& command_line);

// Makes an MSZIP-compressed CAB at cab_path holding the given files (stored without folders).
// Fails the calling test when gcab fails.
void MakeCab(const std::string& cab_path, const std::vector<std::string>& files);

// Offsets of the CFDATA blocks of a single-folder CAB (each block's 8-byte header starts there).
std::vector<size_t> DataBlockOffsets(const std::string& cab);

}  // namespace quillmend::testing

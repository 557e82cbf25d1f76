// Test data that compresses about as well as program files do.
#pragma once

#include <cstddef>
#include <string>

namespace quillmend::testing {

// Instruction-like runs mixed with noise; deterministic for a seed.
std::string ProgramLikeBytes(std::size_t size, unsigned seed);

}  // namespace quillmend::testing

#include "support/program_bytes.h"

#include <random>

namespace quillmend::testing {

std::string ProgramLikeBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  static const std::string words[] = {"\x48\x89\x5c\x24\x08", "\x55\x48\x8b\xec",
                                      std::string("\xe8\x00\x00\x00\x00", 5), "\xc3\xcc\xcc\xcc",
                                      "GetProcAddress", std::string(6, '\0')};
  std::string bytes;
  bytes.reserve(size + 16);
  while (bytes.size() < size) {
    const unsigned pick = random() % 10;
    if (pick < 6) {
      bytes += words[pick];
    } else {
      for (int i = 0; i < 4; ++i) bytes += static_cast<char>(random() & 0xFF);
    }
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace quillmend::testing

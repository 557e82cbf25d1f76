// Places one file (source over target) the way the agent does; the crash test kills it at
// arbitrary moments.
#include <cstdio>
#include <exception>

#include "platform/file_placement.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  try {
    quillmend::ReplaceFileAtomically(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

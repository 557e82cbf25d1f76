#include "startup/diagnostics.h"

#include <cstdio>
#include <string>

namespace quillmend {

void LogLine(std::string_view text) {
  std::string line = "[quillmend] ";
  line.append(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace quillmend

#include "platform/common/command_line.h"

namespace quillmend {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(const std::string& command_line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = command_line.size();
  while (i < n && IsBlank(command_line[i])) ++i;
  if (i >= n) return args;

  // Program name.
  std::string program;
  if (command_line[i] == '"') {
    ++i;
    while (i < n && command_line[i] != '"') program += command_line[i++];
    if (i < n) ++i;
  } else {
    while (i < n && !IsBlank(command_line[i])) program += command_line[i++];
  }
  args.push_back(program);

  while (true) {
    while (i < n && IsBlank(command_line[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(command_line[i]))) {
      if (command_line[i] == '\\') {
        size_t backslashes = 0;
        while (i < n && command_line[i] == '\\') {
          ++backslashes;
          ++i;
        }
        if (i < n && command_line[i] == '"') {
          arg.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even count leaves the quote to the code below.
        } else {
          arg.append(backslashes, '\\');
        }
        continue;
      }
      if (command_line[i] == '"') {
        if (quoted && i + 1 < n && command_line[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += command_line[i++];
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace quillmend

// Windows command-line quoting rules, for backends that start programs from an argv.
#pragma once

#include <string>
#include <vector>

namespace quillmend {

// Splits a command line the way a Windows program's start-up code does: the program name ends
// at the first blank unless it is quoted (no escapes in it); later arguments are separated by
// blanks and tabs, double quotes group, 2n backslashes before a quote give n backslashes and
// toggle quoting, 2n+1 give n backslashes and a literal quote, "" inside quotes is a literal
// quote, other backslashes are literal.
std::vector<std::string> SplitWindowsCommandLine(const std::string& command_line);

}  // namespace quillmend

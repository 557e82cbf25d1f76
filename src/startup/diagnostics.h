// Diagnostic lines for the person running the agent (standard error). Not the failure log.
#pragma once

#include <string_view>

namespace quillmend {

// Writes "[quillmend] <text>" and a line end to standard error.
void LogLine(std::string_view text);

}  // namespace quillmend

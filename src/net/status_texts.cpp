#include "net/status_texts.h"

#include <array>

namespace quillmend {
namespace {

// Indexed by the status code. The spelling of "Suceeded" is the text users have always seen.
constexpr std::array<const char*, 9> kStatusTexts = {
    "서버연결하기",        // 0 connected
    "Connection Failed",   // 1
    "Operation Started",   // 2
    "Operation Failed",    // 3
    "Operation Suceeded",  // 4
    "서버연결끊기",        // 5 disconnected
    "Query Sent",          // 6
    "Query Completed",     // 7
    "Query Failed",        // 8
};

}  // namespace

std::string ConnectionStatusText(std::int32_t code) {
  if (code < 0 || static_cast<size_t>(code) >= kStatusTexts.size()) return "";
  return kStatusTexts[static_cast<size_t>(code)];
}

}  // namespace quillmend

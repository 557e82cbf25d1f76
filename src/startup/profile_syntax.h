// The line syntax of profile files in CP949, shared by the profile reader and writer: where a
// line ends, what is white space, what a section header and a key line are, and how names
// compare. Text here is CP949 bytes; a character is one byte or a lead byte and its trail.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmend::profile {

// One physical line: its text and its line end.
struct Line {
  std::string_view text;
  std::string_view ending;  // "\r\n", "\n", "\r" or "" for the last line
};

// Splits at CR LF, LF and a lone CR.
std::vector<Line> SplitLines(std::string_view content);

// The length of the character at text[at]: 2 for a lead byte (0x81-0xFE) followed by a byte,
// else 1.
size_t CharLength(std::string_view text, size_t at);

// Removes white space (tab, LF, VT, FF, CR, blank and 0x1A; not the ideographic blank A1 A1)
// from both ends, from the start only, or from the end only.
std::string_view Trim(std::string_view text);
std::string_view TrimStart(std::string_view text);
std::string_view TrimEnd(std::string_view text);

// Cuts text at its first NUL byte.
std::string_view BeforeNul(std::string_view text);

// True when the two names are equal without regard to the case of ASCII letters, compared
// character by character (a trail byte is never folded).
bool NamesEqual(std::string_view a, std::string_view b);

// What one line is.
struct ParsedLine {
  enum class Kind { kBlank, kSection, kKey } kind = Kind::kBlank;
  std::string_view name;                  // the section name or the key, trimmed
  std::optional<std::string_view> value;  // after "=", leading white space removed; none without "="
};
ParsedLine ParseLine(std::string_view text);

}  // namespace quillmend::profile

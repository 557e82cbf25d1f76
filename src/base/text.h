// Text helpers shared by every subsystem. Text inside the program is UTF-8 in std::string;
// conversions to UTF-16 (ODBC and Win32 wide functions) and to CP949 (INI files, FTP names,
// window titles) happen at the boundaries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmend {

// UTF-8 <-> UTF-16. Malformed input sequences become U+FFFD; never throws.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Removes leading and trailing blanks (spaces only, as the platform's Trim does).
std::string TrimBlanks(std::string_view text);
// Removes leading and trailing white space (blank, tab, CR, LF).
std::string TrimWhite(std::string_view text);

// Upper-cases ASCII letters; other characters (Hangul included) are kept.
std::string ToUpperAscii(std::string_view text);
// Compares without regard to ASCII letter case, as file names and INI keys compare.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Position of needle in text ignoring ASCII case, or npos.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0);

// Splits at every occurrence of separator (empty pieces kept, like VB's Split).
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);
// Replaces every occurrence of from by to (case-sensitive, like VB's Replace).
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Removes every occurrence of what ignoring ASCII case, in one pass from left to right (text
// joined by a removal is not searched again), like VB's Replace with text comparison.
std::string RemoveEveryNoCase(std::string_view text, std::string_view what);

// Doubles every single quote so that a value can stand between quotes in built SQL text.
std::string SqlQuoted(std::string_view value);

}  // namespace quillmend

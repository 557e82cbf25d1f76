// Port: the Korean ANSI code page (CP949) at the program's boundaries (INI files, FTP names,
// window titles). The program's own text is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmend {

// Decodes CP949 bytes to UTF-8. Returns nullopt when the bytes are not valid CP949.
std::optional<std::string> Cp949ToUtf8(std::string_view cp949);
// Decodes CP949 bytes to UTF-8, replacing each undecodable byte with U+FFFD. Never fails.
std::string Cp949ToUtf8Lossy(std::string_view cp949);
// Encodes UTF-8 text as CP949. Returns nullopt when a character has no CP949 form.
std::optional<std::string> Utf8ToCp949(std::string_view utf8);

}  // namespace quillmend

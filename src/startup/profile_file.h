// Profile (INI) files with the platform's profile-string semantics, read and written by our own
// code on every platform so that both builds treat the product's files the same way:
//  - sections and keys compare without regard to ASCII case; the first occurrence wins;
//  - values and defaults are trimmed of white space, a pair of enclosing quotes is removed;
//  - values are cut to the 2048-character buffer (2047 characters and the terminator);
//  - lines starting with ';' are comments, lines without '=' carry no value;
//  - the file is CP949 on disk; text crosses this interface as UTF-8.
#pragma once

#include <string>

namespace quillmend {

inline constexpr size_t kProfileBufferChars = 2048;

// GetPrivateProfileString: the value of key in section of file, or default_value when the file,
// the section or the key is missing or the file cannot be read. Undecodable CP949 bytes come
// back as U+FFFD. Never throws.
std::string GetProfileString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& default_value);

// WritePrivateProfileString: sets key=value in section, creating the file and the section when
// missing. The line of an existing key is replaced in place; every other line of the file
// (comments, order, unknown sections, line ends, undecodable bytes) stays byte for byte. The new
// file is written beside the old one and renamed over it, so a failed write leaves the old file.
// Returns false (and changes nothing) when the file is read-only, the folder is missing or not
// writable, or the text has no CP949 form. Never throws.
bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace quillmend

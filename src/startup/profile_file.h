// Profile (INI) files read and written by our own code on every platform, with the semantics of
// the Win32 ANSI profile functions on a Korean system (code page 949), so that both builds treat
// the product's files the way the product itself does:
//  - lines end at CR LF, LF or a lone CR; tab, vertical tab, form feed, blank and 0x1A count as
//    white space and are trimmed from both ends of a line (the ideographic blank A1 A1 does not);
//  - "[name]" starts a section; the name runs to the last "]" of the line and is trimmed
//    ("[a]b]" is the section "a]b"); a line starting with "[" without "]" is a key line;
//  - the lines before the first header are the section "", which is the first section of that
//    name, so the keys of a later "[]" are never found;
//  - any other line is a key: the text before the first "=" (trimmed at its end), the value after
//    it (trimmed at its start). A line without "=" is a key without a value, which reads as
//    missing and hides later lines of that key. A line starting with ";" is a key like any other;
//  - sections and keys compare without regard to the case of letters (ASCII and the cased
//    letters CP949 holds), character by character, never byte by byte; the first section and
//    the first key of a name win;
//  - a value ends at its first NUL; a pair of enclosing quotes (' or ") is removed;
//  - the result fits the 2048-byte buffer: at most 2047 characters, then at most 2047 bytes of
//    whole characters;
//  - the file is CP949 on disk, without a byte-order mark.
// The functions taking CP949 bytes are the core; the others take and give UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace quillmend {

inline constexpr size_t kProfileBufferChars = 2048;

// What GetPrivateProfileStringA(section, key, default_value, buffer, 2048, file) puts into the
// buffer, all texts as CP949 bytes: the value of key in section of file, or default_value
// (trailing blanks removed, quotes removed) when the file, the section or the key is missing or
// the key has no value. A file that cannot be opened (missing folder, no access) gives the
// default without removing its quotes. Never throws.
std::string ReadProfileStringCp949(const std::string& file, const std::string& section,
                                   const std::string& key, const std::string& default_value);

// What WritePrivateProfileStringA(section, key, value, file) makes of the file, with CP949
// texts: key=value in section, the value without leading white space. The first line of the key
// (with or without "=") is rewritten in place; a new key goes after the last line of the first
// section of that name; a new section goes at the end; a missing file is created. Every other
// line of the file (comments, order, unknown sections, line ends, undecodable bytes) stays byte
// for byte. The new file is written beside the old one and renamed over it, so a failed write
// leaves the old file. Returns false (and changes nothing) when the file is read-only, or the
// folder is missing or not writable. Never throws.
bool WriteProfileStringCp949(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value);

// ReadProfileStringCp949 with UTF-8 section, key, default and result. Undecodable CP949 bytes of
// the value come back as U+FFFD; a section or key without a CP949 form is never found (the
// default comes back). Never throws.
std::string ReadProfileValue(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& default_value);

// WriteProfileStringCp949 with UTF-8 texts. Returns false (and changes nothing) as there, and
// when a text has no CP949 form. Never throws.
bool WriteProfileValue(const std::string& file, const std::string& section,
                       const std::string& key, const std::string& value);

}  // namespace quillmend

// The version text of a program file: the file version of its PE version resource
// (VS_FIXEDFILEINFO), read by our own code so that every platform reports the same text.
#pragma once

#include <string>
#include <string_view>

namespace quillmend {

// "a.b.c.d" from the fixed file information of the first version resource of a PE file (any
// language), each part a decimal 16-bit number. Empty for a file that is not a PE image, has no
// version resource, or whose headers or resource section are malformed (every offset is checked
// against the file's size; nothing outside the file is read).
// Throws std::runtime_error when the file cannot be opened or read.
std::string FileVersionText(const std::string& path);

// The same for an image already in memory.
std::string FileVersionTextOf(std::string_view image);

}  // namespace quillmend

// UTF-8 <-> wide text for the Win32 backends (not included by subsystem code).
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace quillmend {

inline std::wstring Wide(std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace quillmend

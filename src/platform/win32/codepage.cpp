// CP949 through MultiByteToWideChar / WideCharToMultiByte with code page 949.
#include <windows.h>

#include "platform/codepage.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {
constexpr UINT kCp949 = 949;
}

std::optional<std::string> Cp949ToUtf8(std::string_view cp949) {
  if (cp949.empty()) return std::string();
  const int n = MultiByteToWideChar(kCp949, MB_ERR_INVALID_CHARS, cp949.data(),
                                    static_cast<int>(cp949.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kCp949, MB_ERR_INVALID_CHARS, cp949.data(), static_cast<int>(cp949.size()),
                      wide.data(), n);
  return Narrow(wide);
}

std::string Cp949ToUtf8Lossy(std::string_view cp949) {
  if (auto strict = Cp949ToUtf8(cp949)) return *strict;
  std::string out;
  size_t i = 0;
  while (i < cp949.size()) {
    const auto lead = static_cast<unsigned char>(cp949[i]);
    const size_t width = (lead >= 0x81 && lead <= 0xFE && i + 1 < cp949.size()) ? 2 : 1;
    if (auto piece = Cp949ToUtf8(cp949.substr(i, width))) {
      out += *piece;
      i += width;
    } else if (auto single = Cp949ToUtf8(cp949.substr(i, 1)); single && lead < 0x80) {
      out += *single;
      ++i;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::optional<std::string> Utf8ToCp949(std::string_view utf8) {
  if (utf8.empty()) return std::string();
  const std::wstring wide = Wide(utf8);
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(kCp949, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kCp949, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

}  // namespace quillmend

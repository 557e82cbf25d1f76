// CP949 through glibc's iconv.
#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace quillmend {
namespace {

// Converts with iconv; on an invalid sequence either fails (lossy == false) or emits the
// replacement and skips one input byte.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in,
                                   bool lossy, std::string_view replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  std::vector<char> buffer(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  while (src_left > 0) {
    char* dst = buffer.data();
    size_t dst_left = buffer.size();
    const size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buffer.data(), buffer.size() - dst_left);
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      if (!lossy) {
        iconv_close(cd);
        return std::nullopt;
      }
      out.append(replacement);
      ++src;
      --src_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::optional<std::string> Cp949ToUtf8(std::string_view cp949) {
  return Convert("UTF-8", "CP949", cp949, false, {});
}

std::string Cp949ToUtf8Lossy(std::string_view cp949) {
  auto out = Convert("UTF-8", "CP949", cp949, true, "\xEF\xBF\xBD");
  return out ? *out : std::string(cp949);
}

std::optional<std::string> Utf8ToCp949(std::string_view utf8) {
  return Convert("CP949", "UTF-8", utf8, false, {});
}

}  // namespace quillmend

// The names of one FTP connection on the wire: decided encoding, remembered bytes.
#include "platform/posix/ftp_names.h"

#include <optional>

#include "platform/codepage.h"

namespace quillmend::inet::posix {
namespace {

// A long session may list many folders; past this many remembered names the oldest listings'
// names are forgotten (they are then sent in the connection's encoding).
constexpr std::size_t kMaxRemembered = 200000;

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    std::uint32_t value = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      value = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if ((extra == 2 && value < 0x800) || (extra == 3 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string FtpNameCodec::DecodeName(const std::string& wire) {
  if (IsAscii(wire)) return wire;
  std::string name;
  if (encoding_ == NameEncoding::kUtf8 && IsUtf8(wire)) {
    name = wire;
  } else if (std::optional<std::string> decoded = Cp949ToUtf8(wire)) {
    name = *decoded;
  } else if (IsUtf8(wire)) {
    name = wire;
  } else {
    name = Cp949ToUtf8Lossy(wire);
  }
  if (sent_.size() >= kMaxRemembered) sent_.clear();
  sent_[name] = wire;
  return name;
}

std::vector<std::string> FtpNameCodec::Decode(const std::vector<std::string>& wire) {
  if (encoding_ == NameEncoding::kUndecided) {
    bool any = false;
    bool all_utf8 = true;
    for (const std::string& name : wire) {
      if (IsAscii(name)) continue;
      any = true;
      all_utf8 = all_utf8 && IsUtf8(name);
    }
    if (any) encoding_ = all_utf8 ? NameEncoding::kUtf8 : NameEncoding::kCp949;
  }
  std::vector<std::string> names;
  names.reserve(wire.size());
  for (const std::string& name : wire) names.push_back(DecodeName(name));
  return names;
}

std::string FtpNameCodec::DecodeOne(const std::string& wire) {
  // A path: its parts are remembered one by one, so that each can be sent back alone.
  std::vector<std::string> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t slash = wire.find('/', begin);
    parts.push_back(wire.substr(begin, slash - begin));
    if (slash == std::string::npos) break;
    begin = slash + 1;
  }
  const std::vector<std::string> decoded = Decode(parts);
  std::string path;
  for (std::size_t i = 0; i < decoded.size(); ++i) path += (i == 0 ? "" : "/") + decoded[i];
  return path;
}

bool FtpNameCodec::EncodePart(std::string_view part, NameEncoding encoding,
                              std::string& out) const {
  if (const auto known = sent_.find(part); known != sent_.end()) {
    out += known->second;
    return true;
  }
  if (encoding == NameEncoding::kUtf8 || IsAscii(part)) {
    out += part;
    return true;
  }
  std::optional<std::string> cp949 = Utf8ToCp949(part);
  if (!cp949) return false;
  out += *cp949;
  return true;
}

std::vector<WireName> FtpNameCodec::Encode(const std::string& name) const {
  std::vector<NameEncoding> tried;
  if (encoding_ == NameEncoding::kUndecided) {
    tried = {NameEncoding::kCp949, NameEncoding::kUtf8};
  } else {
    tried = {encoding_};
  }
  std::vector<WireName> forms;
  for (const NameEncoding encoding : tried) {
    WireName form{"", encoding};
    bool ok = true;
    std::size_t begin = 0;
    for (;;) {
      const std::size_t slash = name.find('/', begin);
      ok = ok && EncodePart(std::string_view(name).substr(begin, slash - begin), encoding,
                            form.bytes);
      if (slash == std::string::npos) break;
      form.bytes += '/';
      begin = slash + 1;
    }
    if (!ok) continue;
    if (!forms.empty() && forms.front().bytes == form.bytes) continue;
    forms.push_back(std::move(form));
  }
  // One form only: nothing about it says which encoding the server uses.
  if (forms.size() == 1 && encoding_ == NameEncoding::kUndecided) {
    forms.front().encoding = NameEncoding::kUndecided;
  }
  return forms;
}

void FtpNameCodec::Accepted(const WireName& form) {
  if (encoding_ == NameEncoding::kUndecided) encoding_ = form.encoding;
}

}  // namespace quillmend::inet::posix

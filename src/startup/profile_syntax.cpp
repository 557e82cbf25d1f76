#include "startup/profile_syntax.h"

namespace quillmend::profile {
namespace {

bool IsSpaceByte(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == ' ' || c == 0x1A; }

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

unsigned char FoldAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

}  // namespace

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back({content.substr(start), {}});
      break;
    }
    const size_t ending = content.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    lines.push_back({content.substr(start, end - start), content.substr(end, ending)});
    start = end + ending;
  }
  return lines;
}

size_t CharLength(std::string_view text, size_t at) {
  return IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

std::string_view TrimStart(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsSpaceByte(static_cast<unsigned char>(text[at]))) ++at;
  return text.substr(at);
}

std::string_view TrimEnd(std::string_view text) {
  // White space bytes are never the trail byte of a character, so the end can be read backwards.
  size_t keep = text.size();
  while (keep > 0 && IsSpaceByte(static_cast<unsigned char>(text[keep - 1]))) --keep;
  return text.substr(0, keep);
}

std::string_view Trim(std::string_view text) { return TrimEnd(TrimStart(text)); }

std::string_view BeforeNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t at = 0; at < a.size();) {
    const size_t length = CharLength(a, at);
    if (CharLength(b, at) != length) return false;
    if (length == 2) {
      if (a.substr(at, 2) != b.substr(at, 2)) return false;
    } else if (FoldAscii(static_cast<unsigned char>(a[at])) !=
               FoldAscii(static_cast<unsigned char>(b[at]))) {
      return false;
    }
    at += length;
  }
  return true;
}

ParsedLine ParseLine(std::string_view text) {
  ParsedLine parsed;
  const std::string_view line = Trim(text);
  if (line.empty()) return parsed;
  if (line.front() == '[') {
    const size_t close = line.rfind(']');
    if (close != std::string_view::npos && close > 0) {
      parsed.kind = ParsedLine::Kind::kSection;
      parsed.name = Trim(line.substr(1, close - 1));
      return parsed;
    }
  }
  parsed.kind = ParsedLine::Kind::kKey;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    parsed.name = line;
    return parsed;
  }
  parsed.name = TrimEnd(line.substr(0, eq));
  parsed.value = TrimStart(line.substr(eq + 1));
  return parsed;
}

}  // namespace quillmend::profile

#include "startup/profile_file.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_names.h"
#include "platform/local_file.h"
#include "base/text.h"

namespace quillmend {
namespace {

// One physical line of the file, without its line end.
struct Line {
  std::string text;
  std::string ending;  // "\r\n", "\n", "\r" or "" for the last line
};

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = start;
    while (end < content.size() && content[end] != '\n' && content[end] != '\r') ++end;
    Line line{content.substr(start, end - start), ""};
    if (end < content.size()) {
      if (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n') {
        line.ending = "\r\n";
      } else {
        line.ending = std::string(1, content[end]);
      }
    }
    start = end + line.ending.size();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string_view TrimView(std::string_view text) {
  constexpr std::string_view kWhite = " \t";
  const size_t first = text.find_first_not_of(kWhite);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kWhite);
  return text.substr(first, last - first + 1);
}

// The section name of a header line "[name]", or nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  const std::string_view trimmed = TrimView(line);
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  const size_t close = trimmed.find(']');
  const std::string_view name =
      trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
  return TrimView(name);
}

// The key of a "key=value" line, or nullopt for comments and lines without '='.
std::optional<std::string_view> KeyName(std::string_view line) {
  const std::string_view trimmed = TrimView(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const size_t eq = trimmed.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return TrimView(trimmed.substr(0, eq));
}

std::string_view ValueOf(std::string_view line) {
  const size_t eq = line.find('=');
  std::string_view value = TrimView(line.substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Where a section and a key stand in the file: indexes into the lines.
struct Location {
  std::optional<size_t> section_line;
  std::optional<size_t> key_line;
  size_t last_entry_line = 0;  // last non-blank line of the section
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location where;
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i].text)) {
      if (inside) break;  // the first occurrence of the section ends here
      if (EqualsNoCase(*name, section)) {
        inside = true;
        where.section_line = i;
        where.last_entry_line = i;
      }
      continue;
    }
    if (!inside) continue;
    if (!TrimView(lines[i].text).empty()) where.last_entry_line = i;
    if (!where.key_line) {
      if (auto name = KeyName(lines[i].text); name && EqualsNoCase(*name, key)) {
        where.key_line = i;
      }
    }
  }
  return where;
}

// Cuts UTF-8 text to at most max_chars characters and removes NUL characters.
std::string FitBuffer(std::string_view text, size_t max_chars) {
  std::string out;
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) {
      if (chars == max_chars) break;
      ++chars;
    }
    if (c != 0) out += text[i];
  }
  return out;
}

bool IsReadOnly(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) return false;
  return (status.permissions() & std::filesystem::perms::owner_write) ==
         std::filesystem::perms::none;
}

bool ReplaceFile(const std::filesystem::path& target, const std::string& content) {
  const std::string target_path = Utf8Path(target);
  const std::string temp = target_path + ".qmtmp";
  LocalFileWriter out;
  if (!out.Create(temp)) return false;
  if (!out.Write(content.data(), content.size()) || !out.Flush() || !out.Close() ||
      !RenameLocalFile(temp, target_path)) {
    out.Close();
    RemoveLocalFile(temp);
    return false;
  }
  return true;
}

}  // namespace

std::string GetProfileString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& default_value) {
  const std::string fallback = FitBuffer(TrimWhite(default_value), kProfileBufferChars - 1);
  const auto section_bytes = Utf8ToCp949(TrimWhite(section));
  const auto key_bytes = Utf8ToCp949(TrimWhite(key));
  if (!section_bytes || !key_bytes) return fallback;
  const auto content = ReadWholeFile(ResolveExistingPath(file));
  if (!content) return fallback;
  const std::vector<Line> lines = SplitLines(*content);
  const Location where = Find(lines, *section_bytes, *key_bytes);
  if (!where.key_line) return fallback;
  const std::string value = Cp949ToUtf8Lossy(ValueOf(lines[*where.key_line].text));
  return FitBuffer(value, kProfileBufferChars - 1);
}

bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  const auto section_bytes = Utf8ToCp949(TrimWhite(section));
  const auto key_bytes = Utf8ToCp949(TrimWhite(key));
  const auto value_bytes = Utf8ToCp949(value);
  if (!section_bytes || !key_bytes || !value_bytes) return false;
  const std::filesystem::path target = FsPath(ResolveExistingPath(file));
  if (IsReadOnly(target)) return false;

  std::error_code ec;
  std::string content;
  if (std::filesystem::exists(target, ec)) {
    auto existing = ReadWholeFile(Utf8Path(target));
    if (!existing) return false;
    content = std::move(*existing);
  }
  std::vector<Line> lines = SplitLines(content);
  const Location where = Find(lines, *section_bytes, *key_bytes);
  const std::string entry = *key_bytes + "=" + *value_bytes;

  if (where.key_line) {
    // The key keeps the spelling it has in the file.
    const std::string existing_key(*KeyName(lines[*where.key_line].text));
    lines[*where.key_line].text = existing_key + "=" + *value_bytes;
  } else if (where.section_line) {
    Line& after = lines[where.last_entry_line];
    const std::string ending = after.ending.empty() ? "\r\n" : after.ending;
    if (after.ending.empty()) after.ending = ending;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(where.last_entry_line + 1),
                 Line{entry, ending});
  } else {
    if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = "\r\n";
    lines.push_back(Line{"[" + *section_bytes + "]", "\r\n"});
    lines.push_back(Line{entry, "\r\n"});
  }

  std::string out;
  out.reserve(content.size() + entry.size() + 32);
  for (const Line& line : lines) {
    out += line.text;
    out += line.ending;
  }
  return ReplaceFile(target, out);
}

}  // namespace quillmend

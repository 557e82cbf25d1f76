#include "startup/profile_file.h"

#include <algorithm>
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
#include "startup/profile_syntax.h"

namespace quillmend {
namespace {

using profile::Line;
using profile::ParsedLine;

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Where a section and a key stand in the file: indexes into the lines.
struct Location {
  bool section_found = false;
  std::optional<size_t> key_line;
  std::optional<std::string_view> value;  // of the key line; none for a line without "="
  size_t insert_at = 0;                   // where a new key of the section goes
};

// Finds the first section named section and in it the first key named key, both names trimmed
// first. The lines before the first header form the first section named "", so a later "[]" is
// never reached.
Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location where;
  const std::string_view wanted_section = profile::Trim(section);
  const std::string_view wanted_key = profile::Trim(key);
  bool inside = wanted_section.empty();
  where.section_found = inside;
  for (size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine parsed = profile::ParseLine(lines[i].text);
    if (parsed.kind == ParsedLine::Kind::kSection) {
      if (inside) break;  // only the first section of the name counts
      if (profile::NamesEqual(profile::BeforeNul(parsed.name), wanted_section)) {
        inside = true;
        where.section_found = true;
        where.insert_at = i + 1;
      }
      continue;
    }
    if (!inside || parsed.kind == ParsedLine::Kind::kBlank) continue;
    where.insert_at = i + 1;
    if (!where.key_line && profile::NamesEqual(profile::BeforeNul(parsed.name), wanted_key)) {
      where.key_line = i;
      where.value = parsed.value;
    }
  }
  return where;
}

// The characters of text (1 or 2 bytes each), at most max_chars of them.
std::string_view FirstChars(std::string_view text, size_t max_chars) {
  size_t at = 0;
  for (size_t chars = 0; at < text.size() && chars < max_chars; ++chars) {
    at += profile::CharLength(text, at);
  }
  return text.substr(0, at);
}

size_t CountChars(std::string_view text) {
  size_t chars = 0;
  for (size_t at = 0; at < text.size(); at += profile::CharLength(text, at)) ++chars;
  return chars;
}

// The buffer's content for a value or default: enclosing quotes removed (only when the closing
// one fits), cut to 2047 characters and then to the whole characters that fit 2047 bytes.
std::string IntoBuffer(std::string_view value, bool strip_quotes) {
  constexpr size_t kMax = kProfileBufferChars - 1;
  value = profile::BeforeNul(value);
  bool quoted = false;
  if (strip_quotes && value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
      value.back() == value.front()) {
    quoted = true;
    value.remove_prefix(1);
  }
  const size_t chars = CountChars(value);
  size_t kept = std::min(chars, kMax);
  // The last character of the buffer goes with the closing quote, when the quote was in reach.
  if (quoted && chars <= kProfileBufferChars && kept > 0) --kept;
  const std::string_view text = FirstChars(value, kept);
  size_t fit = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t length = profile::CharLength(text, at);
    if (at + length > kMax) break;
    at += length;
    fit = at;
  }
  return std::string(text.substr(0, fit));
}

// The default as the function takes it: trailing blanks (only blanks) removed.
std::string_view DefaultWithoutTrailingBlanks(std::string_view default_value) {
  const size_t last = default_value.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : default_value.substr(0, last + 1);
}

// New lines follow the file: its first line end, CR LF for a file without one.
std::string_view LineEndOf(const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    if (!line.ending.empty()) return line.ending;
  }
  return "\r\n";
}

bool FolderExists(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path folder = FsPath(file).parent_path();
  return folder.empty() || std::filesystem::is_directory(folder, ec);
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

std::string ReadProfileStringCp949(const std::string& file, const std::string& section,
                                   const std::string& key, const std::string& default_value) {
  const std::string_view fallback = DefaultWithoutTrailingBlanks(default_value);
  const std::string path = ResolveExistingPath(file);
  std::error_code ec;
  if (!std::filesystem::exists(FsPath(path), ec)) {
    // A missing file is an empty one; a file that cannot be opened gives the bare default.
    return IntoBuffer(fallback, FolderExists(path));
  }
  const auto content = ReadWholeFile(path);
  if (!content) return IntoBuffer(fallback, false);
  const std::vector<Line> lines = profile::SplitLines(*content);
  const Location where = Find(lines, section, key);
  if (!where.key_line || !where.value) return IntoBuffer(fallback, true);
  return IntoBuffer(*where.value, true);
}

bool WriteProfileStringCp949(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value) {
  const std::string_view section_name = profile::TrimStart(section);
  const std::string_view key_name = profile::TrimStart(key);
  const std::string_view new_value = profile::TrimStart(value);
  const std::filesystem::path target = FsPath(ResolveExistingPath(file));
  if (IsReadOnly(target)) return false;

  std::error_code ec;
  std::string content;
  if (std::filesystem::exists(target, ec)) {
    auto existing = ReadWholeFile(Utf8Path(target));
    if (!existing) return false;
    content = std::move(*existing);
  }
  const std::vector<Line> lines = profile::SplitLines(content);
  const Location where = Find(lines, section_name, key_name);
  if (where.key_line && where.value && *where.value == new_value) return true;  // no change

  // The new file, line by line; each line keeps its own line end, new lines get the file's.
  struct OutLine {
    std::string text;
    std::string ending;
  };
  std::vector<OutLine> out_lines;
  out_lines.reserve(lines.size() + 3);
  for (const Line& line : lines) out_lines.push_back({std::string(line.text), std::string(line.ending)});
  const std::string eol(LineEndOf(lines));
  const std::string entry = std::string(profile::TrimEnd(key_name)) + "=" + std::string(new_value);

  if (where.key_line) {
    // The key keeps the spelling and the indentation it has in the file.
    const std::string_view old_text = lines[*where.key_line].text;
    const size_t indent = old_text.size() - profile::TrimStart(old_text).size();
    out_lines[*where.key_line].text = std::string(old_text.substr(0, indent)) +
                                      std::string(profile::ParseLine(old_text).name) + "=" +
                                      std::string(new_value);
  } else {
    std::vector<OutLine> added;
    if (!where.section_found) {
      std::string header(1, '[');
      header.append(section_name).append("]");
      added.push_back({std::move(header), eol});
    }
    added.push_back({entry, eol});
    const size_t at = where.section_found ? where.insert_at : out_lines.size();
    if (at > 0 && out_lines[at - 1].ending.empty()) out_lines[at - 1].ending = eol;
    out_lines.insert(out_lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(),
                     added.end());
  }

  std::string out;
  out.reserve(content.size() + entry.size() + 32);
  for (const OutLine& line : out_lines) out.append(line.text).append(line.ending);
  return ReplaceFile(target, out);
}

std::string ReadProfileValue(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& default_value) {
  const auto section_bytes = Utf8ToCp949(section);
  const auto key_bytes = Utf8ToCp949(key);
  const auto default_bytes = Utf8ToCp949(default_value);
  if (!section_bytes || !key_bytes) {
    // Such a name cannot be in the file: the default, as for a missing key.
    return Cp949ToUtf8Lossy(
        IntoBuffer(DefaultWithoutTrailingBlanks(default_bytes.value_or("")), true));
  }
  return Cp949ToUtf8Lossy(
      ReadProfileStringCp949(file, *section_bytes, *key_bytes, default_bytes.value_or("")));
}

bool WriteProfileValue(const std::string& file, const std::string& section,
                       const std::string& key, const std::string& value) {
  const auto section_bytes = Utf8ToCp949(section);
  const auto key_bytes = Utf8ToCp949(key);
  const auto value_bytes = Utf8ToCp949(value);
  if (!section_bytes || !key_bytes || !value_bytes) return false;
  return WriteProfileStringCp949(file, *section_bytes, *key_bytes, *value_bytes);
}

}  // namespace quillmend

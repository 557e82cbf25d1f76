#include "startup/settings.h"

#include "platform/codepage.h"
#include "platform/local_time.h"
#include "startup/diagnostics.h"
#include "startup/profile_file.h"
#include "startup/program_paths.h"
#include "base/text.h"

namespace quillmend {

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& default_value) {
  std::string value = ReadProfileValue(file, section, key, default_value);
  std::string without_nul;
  without_nul.reserve(value.size());
  for (char c : value) {
    if (c != '\0') without_nul += c;
  }
  return TrimBlanks(without_nul);
}

void WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
  if (!WriteProfileValue(file, section, key, value)) {
    LogLine("could not write [" + section + "] " + key + " to " + file);
  }
}

std::string GetLastVersion(const SharedState& state) {
  return ReadIniValue(SettingsFile(state, kSettingsForVersion), "Version", "Last", "1.0");
}

bool SaveLastVersion(const SharedState& state, const std::string& version) {
  const std::string file = SettingsFile(state, kSettingsForVersion);
  if (WriteProfileValue(file, "Version", "Last", version)) return true;
  LogLine("could not write [Version] Last = " + version + " to " + file);
  LogFailure(state, "NotSaved(SaveLastVersion) " + version);
  return false;
}

bool CanSaveLastVersion(const SharedState& state) {
  return WriteProfileValue(SettingsFile(state, kSettingsForVersion), "Version", "Last",
                            GetLastVersion(state));
}

std::string GetServerPath(const SharedState& state) {
  return ReadIniValue(SettingsFile(state, kSettingsForVersion), "SERVER", "PATH", "");
}

namespace {

// The length of the UTF-8 sequence at text[at]; 1 for a byte that starts no whole sequence.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 1;
  if (at + length > text.size()) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// Each character the settings files' code page cannot hold (and each malformed byte) becomes
// '?', as the platform's own conversion writes it, instead of losing the whole entry.
std::string WithCodePageCharactersOnly(const std::string& text) {
  if (Utf8ToCp949(text)) return text;
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceLength(text, at);
    const std::string_view character(text.data() + at, length);
    if (Utf8ToCp949(character)) {
      out.append(character);
    } else {
      out += '?';
    }
    at += length;
  }
  return out;
}

}  // namespace

std::string FailureLogKey(std::string_view key) {
  std::string safe;
  safe.reserve(key.size());
  bool last_was_break = false;
  for (char c : key) {
    const bool is_break = c == '\r' || c == '\n';
    if (is_break) {
      if (!last_was_break) safe += ' ';
      last_was_break = true;
      continue;
    }
    last_was_break = false;
    switch (c) {
      case '=': safe += ':'; break;
      case '[': safe += '('; break;
      case ']': safe += ')'; break;
      case '\0': break;
      default: safe += c;
    }
  }
  if (!safe.empty() && safe.front() == ';') safe.front() = ':';
  safe = WithCodePageCharactersOnly(safe);
  constexpr size_t kMaxKey = 1000;
  if (safe.size() > kMaxKey) {
    size_t cut = kMaxKey;
    while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) --cut;
    safe.resize(cut);
  }
  return safe;
}

void LogFailure(const SharedState& state, std::string_view key) {
  WriteIniValue(InProgramFolder(state, "\\Server.ini"), "Intenet", FailureLogKey(key),
                FormatDateTime(LocalNow()));
}

}  // namespace quillmend

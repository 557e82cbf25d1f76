#include "startup/settings.h"

#include "platform/local_time.h"
#include "startup/diagnostics.h"
#include "startup/profile_file.h"
#include "startup/program_paths.h"
#include "startup/text.h"

namespace quillmend {

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& default_value) {
  std::string value = GetProfileString(file, section, key, default_value);
  std::string without_nul;
  without_nul.reserve(value.size());
  for (char c : value) {
    if (c != '\0') without_nul += c;
  }
  return TrimBlanks(without_nul);
}

void WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
  if (!WriteProfileString(file, section, key, value)) {
    LogLine("could not write [" + section + "] " + key + " to " + file);
  }
}

std::string GetLastVersion(const SharedState& state) {
  return ReadIniValue(SettingsFile(state, kSettingsForVersion), "Version", "Last", "1.0");
}

void SaveLastVersion(const SharedState& state, const std::string& version) {
  WriteIniValue(SettingsFile(state, kSettingsForVersion), "Version", "Last", version);
}

std::string GetServerPath(const SharedState& state) {
  return ReadIniValue(SettingsFile(state, kSettingsForVersion), "SERVER", "PATH", "");
}

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

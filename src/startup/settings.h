// The product's settings routines and the failure log.
#pragma once

#include <string>
#include <string_view>

#include "startup/shared_state.h"

namespace quillmend {

// ReadIniValue: the trimmed value (at most 2047 characters, NULs removed) or the trimmed default.
// A missing or unreadable file yields the default. Never throws.
std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& default_value);
// WriteIniValue: creates file and section when missing; a failed write is ignored (logged to
// standard error only).
void WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value);

// [Version] Last of "\orvel_h.ini", default "1.0".
std::string GetLastVersion(const SharedState& state);
// Writes [Version] Last of "\orvel_h.ini". Returns false when the file cannot be written
// (read-only, folder not writable, disk full); that is written to the failure log as
// "NotSaved(SaveLastVersion) <version>" and Last keeps its value.
bool SaveLastVersion(const SharedState& state, const std::string& version);
// True when [Version] Last can be written now: writes back the value it holds (a missing key
// gets its default "1.0", which reads the same). Logs nothing.
bool CanSaveLastVersion(const SharedState& state);
// [SERVER] PATH of "\orvel_h.ini", default empty.
std::string GetServerPath(const SharedState& state);

// Writes the failure-log entry key = "yyyy-mm-dd hh:mm:ss" (now) into section "Intenet" of
// "\Server.ini". The key is made safe for the file first (see FailureLogKey).
void LogFailure(const SharedState& state, std::string_view key);
// The key as it is stored: line breaks become one blank, '=' becomes ':', '[' and ']' become
// '(' and ')', a leading ';' becomes ':', a character the file's code page cannot hold becomes
// '?', and the key is cut to 1000 characters, so that any error text keeps the log one line per
// entry and readable by every INI reader.
std::string FailureLogKey(std::string_view key);

}  // namespace quillmend

// Parser of FTP LIST lines into find records, for the POSIX FTP backend.
//
// Understands the Unix `ls -l` form (with "Mon dd hh:mm" for recent files and "Mon dd  yyyy"
// for older ones; owner or group may be missing; symbolic links are marked, their
// " -> target" kept apart from the name) and
// the MS-DOS/IIS form ("mm-dd-yy  hh:mmAM  <DIR>|size name"). Names keep their inner and
// trailing blanks. Times are taken as UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/internet.h"

namespace quillmend::inet::posix {

enum class ListLineKind { kEntry, kIgnorable, kUnknown };

struct ParsedListLine {
  ListLineKind kind = ListLineKind::kUnknown;
  FindData data;  // for kEntry; the name is still in the server's bytes
  // A symbolic link ("l" lines): its size is the link's own, its type unknown until probed.
  bool link = false;
  std::string link_target;  // the text after " -> ", in the server's bytes; may be empty
};

// Parses one line (without its line end). `now_unix` decides the year of "Mon dd hh:mm"
// entries: the current year unless that puts the date more than a day in the future.
// "total N" (in any language), empty lines and devices are kIgnorable; so is a line whose
// name holds "/" or a NUL: such a name cannot be an entry of this folder (and never leaves it).
// A line in no known form, or without a name, is kUnknown.
ParsedListLine ParseListLine(std::string_view line, std::int64_t now_unix);

// The FILETIME of a UTC calendar moment.
std::uint64_t FileTimeOfUtc(int year, int month, int day, int hour, int minute);

// Windows-style match of a listing filter against a name, without regard to case:
// "*" any run, "?" one character, "*.*" and "" everything.
bool FilterMatches(std::string_view filter, std::string_view name);

}  // namespace quillmend::inet::posix

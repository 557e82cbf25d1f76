// One download per clinic: with [Distribution] ShareFirst=1 in quillmend.ini, an online
// workstation whose [SERVER] PATH names the clinic share takes each version from the share when
// it lies whole there, and otherwise downloads it from the Internet and then leaves it whole on
// the share for the others (share_record.h says how a reader knows a version is whole).
//
// These are the share's building blocks; the download pass uses them per version
// (UpdatePassRunner::m_sharedown and m_sharepublish).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "startup/shared_state.h"
#include "update/share_record.h"

namespace quillmend {

// The share named by [SERVER] PATH (without a trailing separator) when it is a download folder
// that can be reached now; nullopt otherwise (logged once per call when PATH is set).
std::optional<std::string> ReachableShare(const SharedState& state);

// The 버전파일 path as readers of the share use it: "\" separated, and a path that ends in
// ".CAB" names the file expanded from it (every ".cab" removed). nullopt for a path that would
// leave its folder.
std::optional<std::string> ShareablePath(const std::string& recorded);
// Where a recorded file lies on the share: share + the path less every "\download".
std::string PathOnShare(const std::string& share, const std::string& recorded);

// The distinct 버전파일 paths of version (ShareablePath form). Throws DbError.
std::vector<std::string> RecordedFilesOf(SharedState& state, const std::string& version);
// True when 버전파일 holds a version newer than version (in version order). Throws DbError.
bool ClinicRecordsNewerVersion(SharedState& state, const std::string& version);

// A name for this workstation's temporary files on the share, different from every other
// workstation's and every earlier call's: two writers never share a temporary file.
std::string ShareTempTag(const SharedState& state);

// Copies source to target through a temporary file beside target (named with temp_tag) that is
// renamed over target only when it is complete and its size and SHA-256 digest are the expected
// ones; the copy keeps source's modification time. Calls yield after each block read.
// False (with *error) when source cannot be read or is not the expected file, or target cannot
// be written (disk full, folder missing): target is then as it was and no temporary file is left.
// expected_size < 0 or an empty expected_sha256 skips that check; *sha256 (when given) gets the
// digest of what was copied.
bool CopyVerified(const std::string& source, const std::string& target, std::int64_t expected_size,
                  const std::string& expected_sha256, const std::string& temp_tag,
                  const std::function<void(std::size_t)>& yield, std::string* error,
                  std::string* sha256 = nullptr);

}  // namespace quillmend

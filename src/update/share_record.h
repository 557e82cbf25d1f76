// The record of a version that lies whole on the clinic share.
//
// A workstation that downloaded a version from the Internet and installed it whole copies the
// version's files to the share (each through a temporary file and a rename) and then, last,
// writes this record: <share>\versions\<version>.whole. The record names every file of the
// version as the clinic database's 버전파일 rows name it, with its size and SHA-256 digest.
// Its presence is what tells a reader that the version is whole on the share: the 버전파일 rows
// are written file by file, and a file of the right name may still be an older version's. A
// reader takes the version from the share only when the record, the rows and the files agree.
//
// The file is UTF-8 text, one item a line:
//   quillmend share record 1
//   version 7.5.13
//   host WS01
//   file <size> <sha256> <path as in 버전파일, "\" separated>     (one line per file)
//   end <number of file lines>
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "startup/shared_state.h"

namespace quillmend {

struct ShareRecordFile {
  std::string recorded;  // the 버전파일 path, e.g. \download\program\Velmont.exe
  std::int64_t size = 0;
  std::string sha256;    // 64 lower-case hexadecimal digits
};

struct ShareRecord {
  std::string version;
  std::string host;
  std::vector<ShareRecordFile> files;
};

// True for a version text that can name files on any file system: digits, letters, ".", "-"
// and "_", at most 64 characters. A version with any other character is never shared.
bool IsShareableVersion(const std::string& version);

// The folder of the records and claims on the share: share + separator + "versions".
std::string ShareRecordFolder(const std::string& share);
// The record's path for version.
std::string ShareRecordPath(const std::string& share, const std::string& version);

// The record of version on the share; nullopt when there is none, it cannot be read, or it is
// malformed or names another version (a malformed one is logged).
std::optional<ShareRecord> ReadShareRecord(const std::string& share, const std::string& version);

// Writes record to the share: to a temporary file named with temp_tag, then renamed over the
// record's path, so that a reader sees either no record or the whole one. False (with *error)
// when the folder or the file cannot be written; nothing is left behind then.
bool WriteShareRecord(const std::string& share, const ShareRecord& record,
                      const std::string& temp_tag, std::string* error);

// Removes the record of version (a record that does not match the share any more). True when
// none is left.
bool RemoveShareRecord(const std::string& share, const std::string& version);

// The digests of the vendor's signed manifest for version, by 버전파일 path (compared without
// regard to case), when the vendor publishes one for that version. A version without one is
// checked by size and by the digests of the share record alone. No version has a manifest yet:
// this returns nullopt until the vendor's manifest (and the check of its signature) is read here.
std::optional<std::map<std::string, std::string>> VendorManifestDigests(SharedState& state,
                                                                        const std::string& version);

}  // namespace quillmend

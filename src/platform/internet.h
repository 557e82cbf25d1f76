// Port: an Internet session in the shape of the Windows Internet API (WinINet), FTP first.
//
// Handles form a tree: a session (InternetOpen) is the parent of FTP connections
// (InternetConnect); a connection is the parent of at most one open remote file (FtpOpenFile)
// or one listing (FtpFindFirstFile) at a time. Closing a handle closes its children.
//
// Failure: every call that can fail returns false / a null handle and sets the calling
// thread's last error code (InternetLastError), a WinINet code such as 12003
// (kErrorExtendedError: the server refused; its reply is in InternetGetLastResponseInfo),
// 12002 (time-out), 12007 (name not resolved), 12014 (password refused), 12029 (cannot
// connect), 12030 (connection ended abnormally), 18 (no more files). Calls never throw and
// never wait longer than the connection's time-outs (connect, reply, data).
//
// Text: the program's own UTF-8. The Windows backend hands names to WinINet; the POSIX backend
// (ours) sends file and path names in CP949 unless the server says it speaks UTF-8 (FEAT).
// Names that come back from a listing are decoded the same way.
#pragma once

#include <cstdint>
#include <string>

namespace quillmend::inet {

// Opaque handle; nullptr is "no handle".
struct InternetObject;
using Handle = InternetObject*;

// InternetOpen access types.
inline constexpr std::uint32_t kOpenTypePreconfig = 0;
inline constexpr std::uint32_t kOpenTypeDirect = 1;
// InternetConnect service and flags.
inline constexpr std::uint32_t kServiceFtp = 1;
inline constexpr std::uint32_t kServiceHttp = 3;
inline constexpr std::uint32_t kFlagPassive = 0x08000000;
// Transfer flags (FtpOpenFile, FtpGetFile, FtpPutFile).
inline constexpr std::uint32_t kTransferAscii = 1;
inline constexpr std::uint32_t kTransferBinary = 2;
inline constexpr std::uint32_t kFlagReload = 0x80000000;
// FtpOpenFile access.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
// File attribute of a plain file (FtpGetFile) and of a folder (find records).
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeNormal = 0x80;

// Error codes (the platform's numbers).
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorOutOfHandles = 12001;
inline constexpr std::uint32_t kErrorTimeout = 12002;
inline constexpr std::uint32_t kErrorExtendedError = 12003;
inline constexpr std::uint32_t kErrorInternalError = 12004;
inline constexpr std::uint32_t kErrorNameNotResolved = 12007;
inline constexpr std::uint32_t kErrorIncorrectUserName = 12013;
inline constexpr std::uint32_t kErrorIncorrectPassword = 12014;
inline constexpr std::uint32_t kErrorLoginFailure = 12015;
inline constexpr std::uint32_t kErrorInvalidOperation = 12016;
inline constexpr std::uint32_t kErrorIncorrectHandleType = 12018;
inline constexpr std::uint32_t kErrorIncorrectHandleState = 12019;
inline constexpr std::uint32_t kErrorCannotConnect = 12029;
inline constexpr std::uint32_t kErrorConnectionAborted = 12030;
inline constexpr std::uint32_t kErrorConnectionReset = 12031;
inline constexpr std::uint32_t kErrorFtpTransferInProgress = 12110;
inline constexpr std::uint32_t kErrorFtpDropped = 12111;

// Time-outs of a handle (InternetSetOption): inherited by the handles opened from it.
enum class Timeout {
  kConnect = 2,       // INTERNET_OPTION_CONNECT_TIMEOUT
  kSend = 5,          // INTERNET_OPTION_SEND_TIMEOUT (control connection)
  kReceive = 6,       // INTERNET_OPTION_RECEIVE_TIMEOUT (a server reply)
  kDataSend = 7,      // INTERNET_OPTION_DATA_SEND_TIMEOUT
  kDataReceive = 8,   // INTERNET_OPTION_DATA_RECEIVE_TIMEOUT
};
// The time-outs a new session starts with (milliseconds).
inline constexpr std::uint32_t kDefaultTimeoutMs = 30000;

// A find record: one entry of a listing (the platform's WIN32_FIND_DATA, decoded).
struct FindData {
  std::uint32_t attributes = 0;       // kAttributeDirectory / kAttributeNormal / ...
  std::uint64_t creation_time = 0;    // FILETIME (100 ns since 1601-01-01 UTC); 0 = unknown
  std::uint64_t last_access_time = 0;
  std::uint64_t last_write_time = 0;
  std::uint32_t size_high = 0;
  std::uint32_t size_low = 0;
  std::string name;                   // UTF-8, as the server listed it
};

// The calling thread's last error code (GetLastError after a failed call).
std::uint32_t InternetLastError();

// The last reply text a server sent on this thread's connections (all lines, each ended by
// CRLF, as InternetGetLastResponseInfo gives it); empty when there was none. When
// `error_code` is given it receives the code that came with the reply (0 when none).
std::string InternetGetLastResponseInfo(std::uint32_t* error_code = nullptr);

// The platform's text for an Internet error code (FormatMessage over the WinINet module's
// message table, at most 256 characters, ending with its CRLF); empty for an unknown code.
std::string InternetErrorText(std::uint32_t code);

// 0 when the machine may attempt a connection (InternetAttemptConnect), else an error code.
std::uint32_t InternetAttemptConnect();

// Opens a session. Null on failure.
Handle InternetOpen(const std::string& agent, std::uint32_t access_type, std::uint32_t flags);

// Sets one time-out of a session or connection handle (milliseconds, 0 = the default).
bool InternetSetTimeout(Handle handle, Timeout which, std::uint32_t milliseconds);

// Connects and logs in (FTP: USER/PASS; the connection is ready when this returns). port 0 is
// the service's default. flags: kFlagPassive for passive data connections, else active.
// Null on failure (12007, 12029, 12014, 12013, 12003 with the server's reply, 12002).
Handle InternetConnect(Handle session, const std::string& server, std::uint16_t port,
                       const std::string& user, const std::string& password,
                       std::uint32_t service, std::uint32_t flags);

// Closes any handle and its children. A remote file closed before its end aborts the
// transfer. For a remote file that was read to its end or written, false when the server's
// final reply reports the transfer failed (12003). A null handle gives false (12018).
bool InternetCloseHandle(Handle handle);

// The server's current folder as it reports it (PWD).
bool FtpGetCurrentDirectory(Handle connection, std::string& directory);
bool FtpSetCurrentDirectory(Handle connection, const std::string& directory);
bool FtpCreateDirectory(Handle connection, const std::string& directory);
bool FtpRemoveDirectory(Handle connection, const std::string& directory);
bool FtpDeleteFile(Handle connection, const std::string& file);
bool FtpRenameFile(Handle connection, const std::string& existing, const std::string& new_name);

// Starts a listing of the entries that match `filter` ("*.*" or empty: all; a plain name:
// that entry) in the current folder and fills `data` with the first. Null when nothing
// matches (error 18) or the listing fails, also when a line of it cannot be read (12004, see
// FtpLastUnreadableListingLine). flags: kFlagReload to bypass any cache. A symbolic link is
// listed as what it points to, with that file's size (see ftp_links.h for our backend).
Handle FtpFindFirstFile(Handle connection, const std::string& filter, FindData& data,
                        std::uint32_t flags);
// The first line of this thread's last listing that was in no form the listing parser knows,
// as text (bytes of neither UTF-8 nor CP949 shown as U+FFFD); empty when the last listing had
// none. Our backend fails such a listing (12004) rather than drop the line's entry; WinINet
// skips such lines itself, so there it is always empty.
std::string FtpLastUnreadableListingLine();
// The next entry of a listing; false with error 18 after the last one.
bool InternetFindNextFile(Handle find, FindData& data);

// Opens a remote file for reading (kGenericRead) or writing (kGenericWrite) with the
// transfer type in flags. One remote file per connection at a time (else 12110).
Handle FtpOpenFile(Handle connection, const std::string& file, std::uint32_t access,
                   std::uint32_t flags);
// Opens a remote file for reading from byte `offset` on (REST, then RETR), to resume a broken
// download. Null when the server refuses to start there (12003 with its reply) or, on
// backends that cannot resume, with 50 (kErrorNotSupported): the caller then starts over.
Handle FtpOpenFileAt(Handle connection, const std::string& file, std::uint64_t offset,
                     std::uint32_t flags);
// The modification time of a remote file as the server reports it (MDTM), as a FILETIME
// (UTC). False when the server does not tell (no MDTM, or the file is missing).
bool FtpGetFileTime(Handle connection, const std::string& file, std::uint64_t& write_time);
// Reads up to `size` bytes; true with *read == 0 at the end of the file. Short reads happen
// only at the end of the file.
bool InternetReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read);
// Writes all `size` bytes or fails.
bool InternetWriteFile(Handle file, const void* buffer, std::uint32_t size,
                       std::uint32_t* written);

// Whole-file transfers. FtpGetFile replaces an existing local file unless fail_if_exists;
// on failure no partial local file is left.
bool FtpGetFile(Handle connection, const std::string& remote, const std::string& local,
                bool fail_if_exists, std::uint32_t attributes, std::uint32_t flags);
bool FtpPutFile(Handle connection, const std::string& local, const std::string& remote,
                std::uint32_t flags);

// HTTP: opens a URL (http://host[:port]/path) with a GET request; null on failure.
Handle InternetOpenUrl(Handle session, const std::string& url, std::uint32_t flags);
// The Content-Length header of an opened URL as text; false when there is none.
bool HttpQueryContentLength(Handle request, std::string& value);

}  // namespace quillmend::inet

// cRemoteFile: one file on a remote server, named by RemoteFile, and the single operations on
// it through a cConnection: the size an HTTP server gives for it, an upload to an FTP server in
// 66,560-byte blocks, deleting and renaming it. Each operation reports its course through
// StatusChanged with the connection status codes (net/status_texts.h), an upload its progress
// through ProgressChanged. Failures are reported, not thrown, except a local file that cannot
// be opened for an upload (LocalFileError). The connection is only read. One UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/http_client.h"

namespace quillmend {

class cConnection;

// Raised by UploadFile when the local file cannot be opened; the remote side is untouched.
class LocalFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class cRemoteFile {
 public:
  // Bytes per upload block (65 x 1024).
  static constexpr std::int64_t kUploadBlock = 66560;

  // Public fields, in their declaration order.
  std::string RemoteFile;  // a full URL for QueryFileSize, a path on the FTP server otherwise
  std::string FileData;    // kept for callers; the class does not use it

  // Time limits of the HTTP size query.
  HttpLimits http_limits_;

  // ProgressChanged(nbytes): bytes written so far in the current upload.
  std::function<void(std::int64_t)> ProgressChanged;
  // StatusChanged(NewStatus, sOptionalInfo).
  std::function<void(std::int32_t, const std::string&)> StatusChanged;

  // OutputString = the bytes decoded from the Korean ANSI code page (CP949) to UTF-8; a byte
  // that is not valid CP949 becomes U+FFFD.
  static void ConvertBytes2String(const std::vector<std::uint8_t>& BytesArray,
                                  std::string& OutputString);
  // The display text of a status code; "" outside 0..8.
  static std::string FormatMessage(std::int32_t nIndex);

  // The Content-Length the HTTP server gives for the URL in RemoteFile: status 6, then 7 and
  // the size, or 8 and -1 (URL not opened, error status, no or no numeric Content-Length, or a
  // size beyond 32 bits). On an unconnected connection only status 3 "Not connected." and -1.
  std::int32_t QueryFileSize(const cConnection& Connection);
  // Writes the local file to RemoteFile over the FTP connection (binary) in blocks of
  // kUploadBlock bytes: status 2, ProgressChanged after each block with the bytes sent so far,
  // then status 4 and true; or status 3 with the reason and false. Throws LocalFileError when
  // the local file cannot be opened (nothing is created remotely then).
  bool UploadFile(const cConnection& Connection, const std::string& LocalFileName);
  // Deletes RemoteFile: status 2, then 4 or 3 "Error while deleting the file.".
  void DeleteFile(const cConnection& Connection);
  // Renames RemoteFile to sNewFile: status 2, then 4 or 3 "Error while renaming the file.".
  // RemoteFile keeps the old name.
  void RenameFile(const cConnection& Connection, const std::string& sNewFile);

 private:
  void Raise(std::int32_t status, const std::string& text = "");
};

}  // namespace quillmend

#include "net/c_remote_file.h"

#include <filesystem>
#include <fstream>
#include <limits>

#include "net/c_connection.h"
#include "net/status_texts.h"
#include "platform/codepage.h"
#include "platform/file_names.h"
#include "platform/internet.h"
#include "base/text.h"

namespace quillmend {
namespace {

constexpr const char* kNotFtp = "Not an FTP session.";

// The size in a Content-Length text: decimal digits only and within 32 bits, else nullopt (a
// text such as "abc" must not pass for a size of 0).
std::optional<std::int32_t> ParseContentLength(const std::string& text) {
  const std::string digits = TrimWhite(text);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (const char c : digits) {
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

// Closes an open remote file on every path out of UploadFile; Close() reports whether the
// server confirmed the transfer.
class RemoteFileHandle {
 public:
  explicit RemoteFileHandle(inet::Handle handle) : handle_(handle) {}
  ~RemoteFileHandle() { Close(); }
  RemoteFileHandle(const RemoteFileHandle&) = delete;
  RemoteFileHandle& operator=(const RemoteFileHandle&) = delete;
  inet::Handle get() const { return handle_; }
  bool Close() {
    if (handle_ == nullptr) return true;
    const bool confirmed = inet::InternetCloseHandle(handle_);
    handle_ = nullptr;
    return confirmed;
  }

 private:
  inet::Handle handle_;
};

}  // namespace

void cRemoteFile::Raise(std::int32_t status, const std::string& text) {
  if (StatusChanged) StatusChanged(status, text);
}

void cRemoteFile::ConvertBytes2String(const std::vector<std::uint8_t>& BytesArray,
                                      std::string& OutputString) {
  OutputString = Cp949ToUtf8Lossy(
      std::string_view(reinterpret_cast<const char*>(BytesArray.data()), BytesArray.size()));
}

std::string cRemoteFile::FormatMessage(std::int32_t nIndex) { return ConnectionStatusText(nIndex); }

std::int32_t cRemoteFile::QueryFileSize(const cConnection& Connection) {
  if (!Connection.Connected) {
    Raise(kStatusOperationFailed, "Not connected.");
    return -1;
  }
  Raise(kStatusQuerySent);
  const HttpResourceInfo info = QueryHttpResource(RemoteFile, http_limits_);
  if (!info.opened) {
    Raise(kStatusQueryFailed, "Unable to open the specified URL.");
    return -1;
  }
  const std::optional<std::int32_t> size =
      info.content_length ? ParseContentLength(*info.content_length) : std::nullopt;
  if (!size) {
    Raise(kStatusQueryFailed, "Unable to query information.");
    return -1;
  }
  Raise(kStatusQueryCompleted);
  return *size;
}

bool cRemoteFile::UploadFile(const cConnection& Connection, const std::string& LocalFileName) {
  if (!Connection.FTPService) {
    Raise(kStatusOperationFailed, kNotFtp);
    return false;
  }
  Raise(kStatusOperationStarted);
  // The local file is opened before the remote one is created: a missing local file must not
  // leave an emptied remote file behind.
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(FsPath(LocalFileName), ignored)) {
    throw LocalFileError("cannot open the local file " + LocalFileName);
  }
  std::ifstream local(FsPath(LocalFileName), std::ios::binary | std::ios::ate);
  if (!local) throw LocalFileError("cannot open the local file " + LocalFileName);
  const std::int64_t length = static_cast<std::int64_t>(local.tellg());
  local.seekg(0);
  if (length < 0 || !local) throw LocalFileError("cannot read the local file " + LocalFileName);

  RemoteFileHandle remote(inet::FtpOpenFile(Connection.hConnection, RemoteFile,
                                            inet::kGenericWrite, inet::kTransferBinary));
  if (remote.get() == nullptr) {
    Raise(kStatusOperationFailed, "Unable to create the remote file.");
    return false;
  }
  std::vector<char> buffer(static_cast<size_t>(kUploadBlock));
  std::int64_t sent = 0;
  bool failed = false;
  do {
    const std::int64_t block = sent < length - kUploadBlock ? kUploadBlock : length - sent;
    local.read(buffer.data(), block);
    // A file that shrank while it was sent would otherwise send stale buffer contents.
    if (local.gcount() != block) {
      Raise(kStatusOperationFailed, "Error while reading the local file.");
      failed = true;
      break;
    }
    std::uint32_t written = 0;
    if (!inet::InternetWriteFile(remote.get(), buffer.data(), static_cast<std::uint32_t>(block),
                                 &written)) {
      Raise(kStatusOperationFailed, "Error while writing the remote file.");
      failed = true;
      break;
    }
    sent += block;
    if (ProgressChanged) ProgressChanged(sent);
  } while (sent < length);
  local.close();
  // The server's final reply decides whether the file arrived whole.
  const bool confirmed = remote.Close();
  if (failed) return false;
  if (!confirmed) {
    Raise(kStatusOperationFailed, "Error while writing the remote file.");
    return false;
  }
  Raise(kStatusOperationSucceeded);
  return true;
}

void cRemoteFile::DeleteFile(const cConnection& Connection) {
  if (!(Connection.Connected && Connection.FTPService)) {
    Raise(kStatusOperationFailed, kNotFtp);
    return;
  }
  Raise(kStatusOperationStarted);
  if (inet::FtpDeleteFile(Connection.hConnection, RemoteFile)) {
    Raise(kStatusOperationSucceeded);
  } else {
    Raise(kStatusOperationFailed, "Error while deleting the file.");
  }
}

void cRemoteFile::RenameFile(const cConnection& Connection, const std::string& sNewFile) {
  if (!(Connection.Connected && Connection.FTPService)) {
    Raise(kStatusOperationFailed, kNotFtp);
    return;
  }
  Raise(kStatusOperationStarted);
  if (inet::FtpRenameFile(Connection.hConnection, RemoteFile, sNewFile)) {
    Raise(kStatusOperationSucceeded);
  } else {
    Raise(kStatusOperationFailed, "Error while renaming the file.");
  }
}

}  // namespace quillmend

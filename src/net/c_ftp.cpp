#include "net/c_ftp.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "net/mod_ftp.h"
#include "platform/file_names.h"
#include "platform/system_info.h"
#include "startup/shared_state.h"
#include "base/text.h"
#include "ui/frm_files.h"
#include "ui/ui_host.h"

namespace quillmend {
namespace {

constexpr const char* kAgent = "Wexlan FTP Client";
constexpr std::uint32_t kBlock = 1024;
constexpr int kConnectSettleMs = 500;
constexpr std::size_t kResponseBuffer = 2048;
constexpr std::size_t kDirectoryBuffer = 1024;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kDefaultConnectMs = 30000;
constexpr std::uint32_t kDefaultReplyMs = 30000;
constexpr std::uint32_t kDefaultDataMs = 60000;
constexpr std::size_t kLocalBuffer = 1 << 20;

// Closes a listing handle on every way out, exceptions included.
class FindGuard {
 public:
  explicit FindGuard(inet::Handle handle) : handle_(handle) {}
  ~FindGuard() { Close(); }
  FindGuard(const FindGuard&) = delete;
  FindGuard& operator=(const FindGuard&) = delete;
  void Close() {
    if (handle_ != nullptr) inet::InternetCloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  inet::Handle handle_;
};

// Whole-number value of a port text the way the program reads numbers: leading blanks, then
// digits; anything else ends the number. -1 when the value cannot be a port.
long PortValue(const std::string& text) {
  std::size_t i = text.find_first_not_of(" \t");
  long value = 0;
  for (; i != std::string::npos && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 65535) return -1;
  }
  return value;
}

// A listed name that may be used as one file or folder name inside the listed folder.
bool NameStaysInFolder(const std::string& name, bool directory) {
  if (name == "." || name == "..") return directory;
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (const char c : name) {
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

// Collects the 1024-byte blocks and writes them in large pieces (a stream writes a piece of a
// kilobyte or more straight through, one system call per block).
class BlockWriter {
 public:
  explicit BlockWriter(std::ofstream& file) : file_(file) { buffer_.reserve(kLocalBuffer); }
  bool Append(const char* data, std::size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
    return buffer_.size() < kLocalBuffer || Flush();
  }
  bool Flush() {
    if (!buffer_.empty()) file_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    return static_cast<bool>(file_);
  }

 private:
  std::ofstream& file_;
  std::vector<char> buffer_;
};

std::int64_t SizeOf(const inet::FindData& data) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.size_high) << 32) |
                                   data.size_low);
}

void SetBarRange(ProgressBarControl& bar, float low, float high) {
  if (!bar.SetMin(low)) {
    bar.SetMax(high);
    bar.SetMin(low);
  }
  bar.SetMax(high);
}

}  // namespace

cFTP::cFTP(SharedState& state) : state_(state) {
  session_ = inet::InternetOpen(kAgent, inet::kOpenTypeDirect, 0);
  if (session_ == nullptr) {
    RecordLastError(inet::InternetLastError(), "InternetOpen");
  } else {
    SetTimeouts(kDefaultConnectMs, kDefaultReplyMs, kDefaultDataMs);
  }
}

cFTP::~cFTP() {
  CloseConnection();
  if (session_ != nullptr) inet::InternetCloseHandle(session_);
}

void cFTP::SetTimeouts(std::uint32_t connect_ms, std::uint32_t reply_ms, std::uint32_t data_ms) {
  if (session_ == nullptr) return;
  inet::InternetSetTimeout(session_, inet::Timeout::kConnect, connect_ms);
  inet::InternetSetTimeout(session_, inet::Timeout::kSend, reply_ms);
  inet::InternetSetTimeout(session_, inet::Timeout::kReceive, reply_ms);
  inet::InternetSetTimeout(session_, inet::Timeout::kDataSend, data_ms);
  inet::InternetSetTimeout(session_, inet::Timeout::kDataReceive, data_ms);
}

void cFTP::Yield() {
  if (state_.ui_ != nullptr) state_.ui_->DoEvents();
}

void cFTP::RecordLastError(std::uint32_t code, const std::string& label, bool server_reply) {
  last_error_ = label + " error code: " + std::to_string(code) +
                " Message: " + inet::InternetErrorText(code);
  if (server_reply && code == inet::kErrorExtendedError) {
    std::string reply = inet::InternetGetLastResponseInfo();
    if (reply.size() >= kResponseBuffer) reply.resize(kResponseBuffer - 1);
    const std::size_t nul = reply.find('\0');
    last_error_ = nul == std::string::npos ? reply : reply.substr(0, nul);
  }
}

bool cFTP::Succeeded(bool ok, const char* label) {
  if (!ok) RecordLastError(inet::InternetLastError(), label);
  return ok;
}

void cFTP::RecordLocalError(const std::string& label, const std::string& path) {
  last_error_ = label + " local file: " + path + ": " + std::strerror(errno);
}

const cDirList& cFTP::Directory() {
  if (!directory_) directory_ = std::make_unique<cDirList>();
  return *directory_;
}

void cFTP::CloseConnection() {
  if (connection_ != nullptr) inet::InternetCloseHandle(connection_);
  connection_ = nullptr;
  remote_file_ = nullptr;  // a child of the connection
}

bool cFTP::OpenConnection(const std::string& sServer, const std::string& sPort,
                          const std::string& sUser, const std::string& sPassword) {
  CloseConnection();
  if (sServer.empty()) {
    // Nothing was sent: whatever code is current, the text names this step.
    RecordLastError(inet::InternetLastError(), "InternetConnect", false);
    return false;
  }
  const std::vector<std::string> segments = SplitText(sServer, "/");
  const long port = PortValue(sPort);
  if (port < 0) {
    RecordLastError(inet::kErrorInvalidParameter, "InternetConnect");
    return false;
  }
  connection_ = inet::InternetConnect(session_, segments[0], static_cast<std::uint16_t>(port),
                                      sUser, sPassword, inet::kServiceFtp, connection_flags_);
  if (connection_ == nullptr) {
    RecordLastError(inet::InternetLastError(), "InternetConnect");
    return false;
  }
  SleepMilliseconds(kConnectSettleMs);
  if (segments.size() < 2) return true;
  // The start folder exactly as the server reports it: "/" gives "//folder/...".
  std::string path = GetFTPDirectory();
  for (std::size_t i = 1; i < segments.size(); ++i) path += "/" + segments[i];
  return SetFTPDirectory(path);
}

bool cFTP::SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote) {
  if (!inet::FtpPutFile(connection_, sLocal, sRemote, transfer_type_)) {
    RecordLastError(inet::InternetLastError(), "SimpleFtpPutFile");
    return false;
  }
  return true;
}

bool cFTP::SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote) {
  if (!inet::FtpGetFile(connection_, sRemote, sLocal, false, inet::kAttributeNormal,
                        transfer_type_ | inet::kFlagReload)) {
    RecordLastError(inet::InternetLastError(), "SimpleFtpGetFile");
    return false;
  }
  return true;
}

bool cFTP::RenameFTPFile(const std::string& sExisting, const std::string& sNewName) {
  return Succeeded(inet::FtpRenameFile(connection_, sExisting, sNewName), "RenameFTPFile");
}

bool cFTP::CreateFTPDirectory(const std::string& sDirectory) {
  return Succeeded(inet::FtpCreateDirectory(connection_, sDirectory), "CreateFTPDirectory");
}

bool cFTP::RemoveFTPDirectory(const std::string& sDirectory) {
  return Succeeded(inet::FtpRemoveDirectory(connection_, sDirectory), "RemoveFTPDirectory");
}

bool cFTP::DeleteFTPFile(const std::string& sRemote) {
  return Succeeded(inet::FtpDeleteFile(connection_, sRemote), "DeleteFTPFile");
}

bool cFTP::SetFTPDirectory(const std::string& sDir) {
  return Succeeded(inet::FtpSetCurrentDirectory(connection_, sDir), "FtpSetCurrentDirectory");
}

std::string cFTP::GetFTPDirectory() {
  std::string directory;
  if (!inet::FtpGetCurrentDirectory(connection_, directory)) {
    RecordLastError(inet::InternetLastError(), "FtpGetCurrentDirectory");
    return "";
  }
  // The folder must fit the 1024-character buffer with its NUL.
  if (directory.size() >= kDirectoryBuffer) {
    RecordLastError(kErrorInsufficientBuffer, "FtpGetCurrentDirectory");
    return "";
  }
  return directory.substr(0, directory.find('\0'));
}

bool cFTP::ReadBlock(char* buffer, std::uint32_t size, const std::string& label) {
  std::uint32_t got = 0;
  while (got < size) {
    std::uint32_t n = 0;
    if (!inet::InternetReadFile(remote_file_, buffer + got, size - got, &n)) {
      RecordLastError(inet::InternetLastError(), label);
      return false;
    }
    if (n == 0) {  // the data ended before the size the listing gave
      RecordLastError(inet::kErrorConnectionAborted, label);
      return false;
    }
    got += n;
  }
  return true;
}

void cFTP::FailDownload(std::ofstream* local, const std::string& temp,
                        const std::string& target) {
  if (local != nullptr) local->close();
  if (remote_file_ != nullptr) inet::InternetCloseHandle(remote_file_);
  remote_file_ = nullptr;
  std::error_code ignored;
  std::filesystem::remove(FsPath(temp), ignored);
  // The target keeps what it held: a staging folder that other workstations copy from loses
  // no file to a download that broke off. The caller knows from the result that nothing came.
  (void)target;
}

bool cFTP::FTPDownloadFile(const std::string& sLocal, const std::string& sRemote,
                           std::int64_t lSize) {
  if (sLocal.empty() || sRemote.empty() || lSize <= 0) return false;
  ProgressBarControl* bar = state_.frmFiles != nullptr ? &state_.frmFiles->prgFile : nullptr;
  if (bar != nullptr) SetBarRange(*bar, 1, static_cast<float>(lSize));

  remote_file_ = inet::FtpOpenFile(connection_, sRemote, inet::kGenericRead, transfer_type_);
  if (remote_file_ == nullptr) {
    RecordLastError(inet::InternetLastError(), "FtpOpenFile:GetFile");
    return false;
  }
  // The data goes to a file beside the target, renamed over it once all of it arrived.
  const std::string temp = sLocal + ".qmdl";
  std::ofstream file(FsPath(temp), std::ios::binary | std::ios::trunc);
  std::ofstream* local = &file;
  BlockWriter writer(file);
  if (!file) {
    RecordLocalError("FtpOpenFile:GetFile", sLocal);
    FailDownload(nullptr, temp, sLocal);
    return false;
  }

  char block[kBlock];
  // Counted in whole numbers: a float stops growing by 1024 past 16 GiB.
  std::int64_t count = 1;
  const std::int64_t blocks = lSize / static_cast<std::int64_t>(kBlock);
  for (std::int64_t i = 0; i < blocks; ++i) {
    if (!ReadBlock(block, kBlock, "InternetReadFile")) {
      FailDownload(local, temp, sLocal);
      return false;
    }
    if (!writer.Append(block, kBlock)) {
      RecordLocalError("InternetReadFile", sLocal);
      FailDownload(local, temp, sLocal);
      return false;
    }
    count += kBlock;
    if (bar != nullptr) {
      const auto shown = static_cast<float>(count);
      if (bar->max < shown) bar->SetMax(shown);
      bar->SetValue(shown);
    }
    state_.bytes_counter_ = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(state_.bytes_counter_) + kBlock);
    Yield();
    if (state_.frmFiles != nullptr && state_.frmFiles->unloaded()) {
      // The window unloaded meanwhile: the agent is exiting and downloads nothing more.
      last_error_ = "InternetReadFile cancelled: the agent is exiting";
      FailDownload(local, temp, sLocal);
      return false;
    }
  }
  const auto rest = static_cast<std::uint32_t>(lSize % static_cast<std::int64_t>(kBlock));
  if (rest > 0 && !ReadBlock(block, rest, "InternetReadFile2")) {
    FailDownload(local, temp, sLocal);
    return false;
  }
  if ((rest > 0 && !writer.Append(block, rest)) || !writer.Flush()) {
    RecordLocalError("InternetReadFile2", sLocal);
    FailDownload(local, temp, sLocal);
    return false;
  }
  // The file must end where the listing said: more data means the size was wrong.
  std::uint32_t extra = 0;
  if (!inet::InternetReadFile(remote_file_, block, 1, &extra) || extra != 0) {
    RecordLastError(extra != 0 ? inet::kErrorConnectionAborted : inet::InternetLastError(),
                    "InternetReadFile2");
    FailDownload(local, temp, sLocal);
    return false;
  }
  file.close();
  const bool flushed = !file.fail();
  if (!flushed) {
    RecordLocalError("InternetReadFile2", sLocal);
    FailDownload(nullptr, temp, sLocal);
    return false;
  }
  const bool closed = inet::InternetCloseHandle(remote_file_);
  remote_file_ = nullptr;
  if (!closed) {
    RecordLastError(inet::InternetLastError(), "InternetReadFile2");
    FailDownload(nullptr, temp, sLocal);
    return false;
  }
  std::error_code renamed;
  std::filesystem::rename(FsPath(temp), FsPath(sLocal), renamed);
  if (renamed) {
    RecordLocalError("InternetReadFile2", sLocal);
    FailDownload(nullptr, temp, sLocal);
    return false;
  }
  state_.bytes_counter_ = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(state_.bytes_counter_) + rest);
  Yield();
  return true;
}

bool cFTP::FTPUploadFile(std::string& sLocal, std::string& sRemote) {
  sLocal = TrimBlanks(sLocal);
  sRemote = TrimBlanks(sRemote);
  if (sLocal.empty() || sRemote.empty()) return false;
  std::ifstream local(FsPath(sLocal), std::ios::binary);
  if (!local) {
    RecordLocalError("FtpOpenFile:PutFile", sLocal);
    return false;
  }
  remote_file_ = inet::FtpOpenFile(connection_, sRemote, inet::kGenericWrite, transfer_type_);
  if (remote_file_ == nullptr) {
    RecordLastError(inet::InternetLastError(), "FtpOpenFile:PutFile");
    return false;
  }
  local.seekg(0, std::ios::end);
  const long length = static_cast<long>(local.tellg());
  local.seekg(0, std::ios::beg);
  auto fail = [&](const std::string& label, bool local_fault) {
    if (local_fault) {
      RecordLocalError(label, sLocal);
    } else {
      RecordLastError(inet::InternetLastError(), label);
    }
    inet::InternetCloseHandle(remote_file_);
    remote_file_ = nullptr;
    return false;
  };
  char block[kBlock];
  std::int32_t sent = 0;
  const long blocks = length / static_cast<long>(kBlock);
  for (long i = 0; i < blocks; ++i) {
    std::uint32_t written = 0;
    if (!local.read(block, kBlock)) return fail("InternetWriteFile", true);
    if (!inet::InternetWriteFile(remote_file_, block, kBlock, &written)) {
      return fail("InternetWriteFile", false);
    }
    Yield();
    sent += static_cast<std::int32_t>(kBlock);
    if (FileTransferProgress) FileTransferProgress(sent, static_cast<std::int32_t>(length));
  }
  const auto rest = static_cast<std::uint32_t>(length % static_cast<long>(kBlock));
  std::uint32_t written = 0;
  if (!local.read(block, rest)) return fail("InternetWriteFile2", true);
  if (!inet::InternetWriteFile(remote_file_, block, rest, &written)) {
    return fail("InternetWriteFile2", false);
  }
  sent += static_cast<std::int32_t>(rest);
  if (FileTransferProgress) FileTransferProgress(sent, sent);
  local.close();
  // The server's closing reply says whether it kept the file.
  const bool closed = inet::InternetCloseHandle(remote_file_);
  remote_file_ = nullptr;
  if (!closed) {
    RecordLastError(inet::InternetLastError(), "InternetWriteFile2");
    return false;
  }
  return true;
}

bool cFTP::AddListedEntry(const inet::FindData& data) {
  const bool directory = (data.attributes & inet::kAttributeDirectory) != 0;
  const std::string name = data.name.substr(0, data.name.find('\0'));
  if (!NameStaysInFolder(name, directory)) return false;
  if (!directory_) directory_ = std::make_unique<cDirList>();
  directory_->Add(data.attributes, FileTimeToDate(state_, data.creation_time),
                  FileTimeToDate(state_, data.last_access_time),
                  FileTimeToDate(state_, data.last_write_time),
                  SizeOf(data), name);
  return true;
}

const cDirList* cFTP::GetDirectoryListing(const std::string& sFilter) {
  directory_.reset();
  listing_failed_ = false;
  Yield();
  inet::FindData data;
  inet::Handle find = inet::FtpFindFirstFile(connection_, sFilter, data, 0);
  const std::uint32_t first_code = inet::InternetLastError();
  Yield();
  if (find == nullptr) {
    if (first_code != inet::kErrorNoMoreFiles) {
      RecordLastError(first_code, "FtpFindFirstFile");
      listing_failed_ = true;
    }
    return nullptr;
  }
  FindGuard guard(find);
  directory_ = std::make_unique<cDirList>();
  for (;;) {
    AddListedEntry(data);
    data = inet::FindData{};
    Yield();
    if (!inet::InternetFindNextFile(find, data)) break;
  }
  const std::uint32_t code = inet::InternetLastError();
  guard.Close();
  if (code != inet::kErrorNoMoreFiles) {
    RecordLastError(code, "InternetFindNextFile");
    listing_failed_ = true;
    return nullptr;
  }
  Yield();
  return directory_.get();
}

std::int64_t cFTP::GetFTPFileSize(const std::string& sFile) {
  inet::FindData data;
  inet::Handle find = inet::FtpFindFirstFile(connection_, sFile, data, 0);
  if (find == nullptr) {
    const std::uint32_t code = inet::InternetLastError();
    if (code == inet::kErrorNoMoreFiles) return -1;
    RecordLastError(code, "FtpFindFirstFile");
    return -2;
  }
  inet::InternetCloseHandle(find);
  return SizeOf(data);
}

void cFTP::SetTransferASCII() {
  transfer_type_ = inet::kTransferAscii;
  Yield();
  Yield();
}

void cFTP::SetTransferBinary() { transfer_type_ = inet::kTransferBinary; }

void cFTP::SetModeActive() { connection_flags_ = 0; }

void cFTP::SetModePassive() {
  connection_flags_ = inet::kFlagPassive;
  Yield();
  Yield();
}

}  // namespace quillmend

// cFTP's download: 1024-byte blocks into a partial file beside the target, resumed where a
// broken attempt stopped, renamed over the target once every byte arrived.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "net/c_ftp.h"
#include "platform/file_names.h"
#include "platform/local_file.h"
#include "startup/shared_state.h"
#include "ui/frm_files.h"

namespace quillmend {
namespace {

constexpr std::uint32_t kBlock = 1024;
constexpr std::size_t kLocalBuffer = 1 << 20;

// Collects the 1024-byte blocks and writes them in large pieces (a stream writes a piece of a
// kilobyte or more straight through, one system call per block).
class BlockWriter {
 public:
  BlockWriter(LocalFileWriter& file, std::string& error) : file_(file), error_(error) {
    buffer_.reserve(kLocalBuffer);
  }
  bool Append(const char* data, std::size_t size) {
    buffer_.insert(buffer_.end(), data, data + size);
    return buffer_.size() < kLocalBuffer || Flush();
  }
  bool Flush() {
    const bool written = buffer_.empty() || file_.Write(buffer_.data(), buffer_.size(), &error_);
    buffer_.clear();
    return written;
  }

 private:
  LocalFileWriter& file_;
  std::string& error_;
  std::vector<char> buffer_;
};

void SetBarRange(ProgressBarControl& bar, float low, float high) {
  if (!bar.SetMin(low)) {
    bar.SetMax(high);
    bar.SetMin(low);
  }
  bar.SetMax(high);
}

void ShowCount(ProgressBarControl* bar, std::int64_t count) {
  if (bar == nullptr) return;
  const auto shown = static_cast<float>(count);
  if (bar->max < shown) bar->SetMax(shown);
  bar->SetValue(shown);
}

}  // namespace

cFTP::BlockRead cFTP::ReadBlock(char* buffer, std::uint32_t size, const std::string& label) {
  std::uint32_t got = 0;
  while (got < size) {
    std::uint32_t n = 0;
    if (!inet::InternetReadFile(remote_file_, buffer + got, size - got, &n)) {
      RecordLastError(inet::InternetLastError(), label);
      return BlockRead::kFailed;
    }
    if (n == 0) {  // the data ended before the size the listing gave
      RecordLastError(inet::kErrorConnectionAborted, label);
      return BlockRead::kEnded;
    }
    got += n;
  }
  return BlockRead::kOk;
}

void cFTP::FailDownload(LocalFileWriter* local, PartialDownload& partial, bool keep_partial,
                        const std::string& target) {
  if (local != nullptr) local->Close();
  if (remote_file_ != nullptr) inet::InternetCloseHandle(remote_file_);
  remote_file_ = nullptr;
  if (!keep_partial || !partial.Keepable()) partial.Discard();
  // The target keeps what it held: a staging folder that other workstations copy from loses
  // no file to a download that broke off. The caller knows from the result that nothing came.
  (void)target;
}

bool cFTP::OpenDownload(const std::string& sRemote, std::uint64_t& offset) {
  if (offset > 0) {
    remote_file_ = inet::FtpOpenFileAt(connection_, sRemote, offset, transfer_type_);
    if (remote_file_ != nullptr) return true;
    offset = 0;  // the server cannot start there: the whole file comes again
  }
  remote_file_ = inet::FtpOpenFile(connection_, sRemote, inet::kGenericRead, transfer_type_);
  if (remote_file_ == nullptr) {
    RecordLastError(inet::InternetLastError(), "FtpOpenFile:GetFile");
    return false;
  }
  return true;
}

bool cFTP::FTPDownloadFile(const std::string& sLocal, const std::string& sRemote,
                           std::int64_t lSize) {
  if (sLocal.empty() || sRemote.empty() || lSize <= 0) return false;
  ProgressBarControl* bar = state_.frmFiles != nullptr ? &state_.frmFiles->prgFile : nullptr;
  if (bar != nullptr) SetBarRange(*bar, 1, static_cast<float>(lSize));

  // What the remote file is now: a partial begun for another size or time is of no use.
  const auto size = static_cast<std::uint64_t>(lSize);
  std::uint64_t write_time = 0;
  if (!inet::FtpGetFileTime(connection_, sRemote, write_time)) write_time = 0;
  PartialDownload partial(sLocal);
  std::uint64_t offset = partial.Resumable(size, write_time);
  if (!OpenDownload(sRemote, offset)) return false;  // no local file is touched
  if (offset == 0 && !partial.Begin(size, write_time)) {
    RecordLocalError("FtpOpenFile:GetFile", sLocal);
    FailDownload(nullptr, partial, false, sLocal);
    return false;
  }
  LocalFileWriter file;
  std::string local_error;
  BlockWriter writer(file, local_error);
  if (!file.Append(partial.path(), &local_error)) {
    RecordLocalFailure("FtpOpenFile:GetFile", local_error);
    FailDownload(nullptr, partial, false, sLocal);
    return false;
  }
  // A broken connection keeps what arrived; data that disagrees with the size does not.
  const auto fail_read = [&](BlockRead outcome) {
    const bool keep = outcome == BlockRead::kFailed && writer.Flush();
    FailDownload(&file, partial, keep, sLocal);
    return false;
  };
  const auto fail_local = [&](const char* label) {
    RecordLocalFailure(label, local_error);
    FailDownload(&file, partial, false, sLocal);
    return false;
  };

  char block[kBlock];
  // Counted in whole numbers: a float stops growing by 1024 past 16 GiB.
  std::int64_t count = 1 + static_cast<std::int64_t>(offset);
  if (offset > 0) ShowCount(bar, count);
  const std::int64_t remaining = lSize - static_cast<std::int64_t>(offset);
  const std::int64_t blocks = remaining / static_cast<std::int64_t>(kBlock);
  for (std::int64_t i = 0; i < blocks; ++i) {
    const BlockRead read = ReadBlock(block, kBlock, "InternetReadFile");
    if (read != BlockRead::kOk) return fail_read(read);
    if (!writer.Append(block, kBlock)) return fail_local("InternetReadFile");
    count += kBlock;
    ShowCount(bar, count);
    state_.bytes_counter_ = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(state_.bytes_counter_) + kBlock);
    Yield();
    if (state_.frmFiles != nullptr && state_.frmFiles->unloaded()) {
      // The window unloaded meanwhile: the agent is exiting and downloads nothing more.
      last_error_ = "InternetReadFile cancelled: the agent is exiting";
      return fail_read(BlockRead::kFailed);
    }
  }
  const auto rest = static_cast<std::uint32_t>(remaining % static_cast<std::int64_t>(kBlock));
  if (rest > 0) {
    const BlockRead read = ReadBlock(block, rest, "InternetReadFile2");
    if (read != BlockRead::kOk) return fail_read(read);
  }
  if ((rest > 0 && !writer.Append(block, rest)) || !writer.Flush()) {
    return fail_local("InternetReadFile2");
  }
  // The file must end where the listing said: more data means the size was wrong.
  std::uint32_t extra = 0;
  if (!inet::InternetReadFile(remote_file_, block, 1, &extra) || extra != 0) {
    RecordLastError(extra != 0 ? inet::kErrorConnectionAborted : inet::InternetLastError(),
                    "InternetReadFile2");
    FailDownload(&file, partial, false, sLocal);
    return false;
  }
  if (!file.Close(&local_error)) return fail_local("InternetReadFile2");
  const bool closed = inet::InternetCloseHandle(remote_file_);
  remote_file_ = nullptr;
  if (!closed) {
    RecordLastError(inet::InternetLastError(), "InternetReadFile2");
    FailDownload(nullptr, partial, false, sLocal);
    return false;
  }
  if (!partial.Complete(&local_error)) return fail_local("InternetReadFile2");
  state_.bytes_counter_ = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(state_.bytes_counter_) + rest);
  Yield();
  return true;
}

}  // namespace quillmend

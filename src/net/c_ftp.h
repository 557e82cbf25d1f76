// cFTP: the program's FTP client. One object owns an Internet session, at most one FTP
// connection and at most one open remote file; every failure becomes a stored, readable error
// text (GetLastErrorMessage) and a false / sentinel result. It never shows a message.
//
// Downloads drive the main window's file bar (state.frmFiles->prgFile, when there is a window)
// and add to state.bytes_counter_; transfers and listings let the window process its events
// (state.ui_, when set) after every 1024-byte block or listed entry. Callers must not start a
// second operation on the same object from such an event.
//
// Differences from a plain wrapper, each deliberate:
//  - transfers are binary unless SetTransferASCII is called (ASCII mode corrupts archives on
//    servers that translate line ends);
//  - a download that fails at any block, or that brings fewer or more bytes than the size it
//    was given, returns false and leaves the local path as it was (no partial file);
//  - listed names that could leave the listed folder (separators, drive colons, control
//    characters, trailing dots or blanks, "." or ".." as files) are not put into Directory;
//  - every network operation is bounded by the time-outs (SetTimeouts).
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "net/c_dir_list.h"
#include "platform/internet.h"

namespace quillmend {

struct SharedState;

class cFTP {
 public:
  explicit cFTP(SharedState& state);
  ~cFTP();
  cFTP(const cFTP&) = delete;
  cFTP& operator=(const cFTP&) = delete;

  // The entries of the last GetDirectoryListing; an empty list when there is none.
  const cDirList& Directory();
  // The text of the last failure: "<label> error code: <n> Message: <text>", or for 12003 the
  // server's own last reply. Only ever overwritten, never cleared.
  std::string GetLastErrorMessage() const { return last_error_; }
  // True when the last GetDirectoryListing failed; a folder with nothing in it is no failure.
  bool LastListingFailed() const { return listing_failed_; }

  void CloseConnection();
  bool SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote);
  bool RenameFTPFile(const std::string& sExisting, const std::string& sNewName);
  bool CreateFTPDirectory(const std::string& sDirectory);
  bool RemoveFTPDirectory(const std::string& sDirectory);
  bool DeleteFTPFile(const std::string& sRemote);
  // sServer is "host" or "host/folder/...": after connecting (and a fixed 500 ms wait) the
  // folders are entered from the server's start folder, as the server reports it plus
  // "/folder/...". sPort: whole number, empty or 0 for the default port.
  bool OpenConnection(const std::string& sServer, const std::string& sPort,
                      const std::string& sUser, const std::string& sPassword);
  // Trims blanks from both names (the caller's strings receive the trimmed values) and writes
  // the local file in 1024-byte blocks, raising FileTransferProgress after each.
  bool FTPUploadFile(std::string& sLocal, std::string& sRemote);
  // Reads exactly lSize bytes (64 bits: files of 2 GiB and more) in 1024-byte blocks and a
  // final short block. Never throws.
  bool FTPDownloadFile(const std::string& sLocal, const std::string& sRemote, std::int64_t lSize);
  bool SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote);
  // The server's current folder, or "" on failure.
  std::string GetFTPDirectory();
  bool SetFTPDirectory(const std::string& sDir);
  // The size of the first entry matching sFile (all 64 bits); -1 when nothing matches, -2 on
  // failure.
  std::int64_t GetFTPFileSize(const std::string& sFile);
  // Lists the entries matching sFilter into Directory. nullptr ("no list") on failure or when
  // nothing matches; a listing that names two entries differing only in letter case throws
  // DirListError with the entries before it left in Directory.
  const cDirList* GetDirectoryListing(const std::string& sFilter);
  void SetTransferASCII();
  void SetTransferBinary();
  // The mode takes effect at the next OpenConnection.
  void SetModeActive();
  void SetModePassive();

  // Time limits of every later connection (milliseconds): connecting, each server reply, and
  // each wait for data.
  void SetTimeouts(std::uint32_t connect_ms, std::uint32_t reply_ms, std::uint32_t data_ms);

  // Notifications. FileTransferProgress(lCurrentBytes, lTotalBytes) after each uploaded block;
  // StateChanged is part of the interface but nothing raises it.
  std::function<void(std::int32_t, std::int32_t)> FileTransferProgress;
  std::function<void(std::int32_t)> StateChanged;

 private:
  // server_reply: a 12003 takes the server's last reply as the whole text.
  void RecordLastError(std::uint32_t code, const std::string& label, bool server_reply = true);
  // Returns ok; a failure first records the thread's last error under label. The label is a
  // plain text so that nothing runs between the call and the reading of its error.
  bool Succeeded(bool ok, const char* label);
  void RecordLocalError(const std::string& label, const std::string& path);
  void Yield();
  bool AddListedEntry(const inet::FindData& data);
  bool ReadBlock(char* buffer, std::uint32_t size, const std::string& label);
  void FailDownload(std::ofstream* local, const std::string& temp, const std::string& target);

  SharedState& state_;
  inet::Handle session_ = nullptr;
  inet::Handle connection_ = nullptr;
  inet::Handle remote_file_ = nullptr;
  std::uint32_t transfer_type_ = inet::kTransferBinary;
  std::uint32_t connection_flags_ = 0;
  std::string last_error_;
  std::unique_ptr<cDirList> directory_;
  bool listing_failed_ = false;
};

}  // namespace quillmend

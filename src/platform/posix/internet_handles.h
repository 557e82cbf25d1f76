// The handle objects of the POSIX Internet backend and the per-thread error state they set.
// Internal to src/platform/posix.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "platform/posix/ftp_names.h"
#include "platform/posix/ftp_wire.h"

namespace quillmend::inet {

struct InternetObject {
  enum class Kind { kSession, kFtpConnection, kFtpFile, kFtpFind, kHttpRequest };
  explicit InternetObject(Kind k) : kind(k) {}
  virtual ~InternetObject() = default;
  Kind kind;
  InternetObject* parent = nullptr;
  std::vector<InternetObject*> children;
  std::map<Timeout, std::uint32_t> timeouts;  // inherited from the parent when opened
  std::uint32_t TimeoutMs(Timeout which) const;
};

namespace posix {

struct Session : InternetObject {
  Session() : InternetObject(Kind::kSession) {}
  std::string agent;
};

struct FtpConnection : InternetObject {
  FtpConnection() : InternetObject(Kind::kFtpConnection), control(Socket()) {}
  ControlChannel control;
  Address server;         // the control connection's peer
  bool passive = false;
  FtpNameCodec names;     // the names' encoding on the wire, and the bytes the server sent
  bool offers_eprt = false;
  bool offers_epsv = false;
  char current_type = 0;  // 'A' or 'I' once set
  InternetObject* busy = nullptr;  // the open remote file or listing

  // Sends a command and reads its reply; false on a wire failure (error set).
  bool Command(const std::string& command, Reply& reply);
  // A name in the server's bytes (the first of its forms, see FtpNameCodec::Encode); false
  // (87) when it has no form there.
  bool ToWire(const std::string& name, std::string& wire) const;
};

struct FtpFile : InternetObject {
  FtpFile() : InternetObject(Kind::kFtpFile) {}
  FtpConnection* connection = nullptr;
  Socket data;
  bool writing = false;
  bool at_end = false;         // the server ended the data stream
  bool final_reply_read = false;
  bool final_reply_ok = false;
  std::vector<char> buffer;    // received, not yet handed out
  std::size_t buffer_pos = 0;
  std::size_t buffer_len = 0;
};

struct FtpFind : InternetObject {
  FtpFind() : InternetObject(Kind::kFtpFind) {}
  FtpConnection* connection = nullptr;
  std::vector<FindData> entries;
  std::size_t next = 0;
};

struct HttpRequest : InternetObject {
  HttpRequest() : InternetObject(Kind::kHttpRequest) {}
  std::map<std::string, std::string> headers;  // lower-case names
};

// Error state of the calling thread.
void SetLastError(std::uint32_t code);
void SetLastResponse(const Reply& reply);
// Sets the error for a refused reply: 12003, with the reply as the last response.
void SetServerRefused(const Reply& reply);

// Handle registry: only handles that are registered and of the wanted kind are used.
void Register(InternetObject* object, InternetObject* parent);
bool IsLive(InternetObject* object);
template <typename T>
T* Lookup(Handle handle, InternetObject::Kind kind) {
  if (handle == nullptr || !IsLive(handle) || handle->kind != kind) {
    SetLastError(kErrorIncorrectHandleType);
    return nullptr;
  }
  return static_cast<T*>(handle);
}
// Closes a handle's children, then the handle itself; returns the handle's own outcome.
bool CloseObject(InternetObject* object);

// Remote files and listings (internet_transfer.cpp).
bool CloseFtpFile(FtpFile* file);

}  // namespace posix
}  // namespace quillmend::inet

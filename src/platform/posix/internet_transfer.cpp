// Internet session port on POSIX: data connections (active PORT/EPRT, passive PASV/EPSV),
// remote files read and written through them, listings and whole-file transfers.
#include <netinet/in.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "platform/posix/ftp_list_parser.h"
#include "platform/posix/internet_handles.h"

namespace quillmend::inet {
namespace posix {
namespace {

constexpr std::size_t kReceiveChunk = 256 * 1024;
constexpr std::size_t kMaxListing = 64 * 1024 * 1024;
constexpr std::uint32_t kAbortWaitMs = 3000;
constexpr std::uint32_t kErrorFileExists = 80;

std::uint32_t LocalFileError(int err) {
  switch (err) {
    case ENOENT: return 3;    // ERROR_PATH_NOT_FOUND
    case EACCES: case EPERM: case EROFS: return 5;  // ERROR_ACCESS_DENIED
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    default: return 29;       // ERROR_WRITE_FAULT
  }
}

bool SetType(FtpConnection& c, char type) {
  if (c.current_type == type) return true;
  Reply reply;
  if (!c.Command(std::string("TYPE ") + type, reply)) return false;
  if (reply.Class() != 2) {
    SetServerRefused(reply);
    return false;
  }
  c.current_type = type;
  return true;
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" -> port; "229 (|||port|)" -> port.
int PassivePort(const Reply& reply) {
  const std::string& t = reply.text;
  if (reply.code == 229) {
    const std::size_t open = t.find('(');
    if (open == std::string::npos || open + 4 >= t.size()) return -1;
    const char d = t[open + 1];
    if (t[open + 2] != d || t[open + 3] != d) return -1;
    return std::atoi(t.c_str() + open + 4);
  }
  std::size_t i = t.find_first_of("0123456789", 4);
  int numbers[6] = {};
  for (int k = 0; k < 6; ++k) {
    if (i == std::string::npos || i >= t.size()) return -1;
    numbers[k] = std::atoi(t.c_str() + i);
    i = t.find(',', i);
    if (k < 5) {
      if (i == std::string::npos) return -1;
      ++i;
    }
  }
  return numbers[4] * 256 + numbers[5];
}

bool Refused(const Reply& reply) {
  SetServerRefused(reply);
  return false;
}

// Brings the control channel back in step after a transfer that did not end normally: sends
// ABOR (when asked) and NOOP, and drops every reply up to NOOP's 200, whatever the server said
// about the transfer in between (426, 226, 225 in any combination). NOOP goes out only after
// the first answer to ABOR: a server that looks for ABOR while it sends (pure-ftpd) drops
// whatever else arrived with it.
void Resynchronise(FtpConnection& c, bool abort) {
  std::uint32_t error = 0;
  const std::uint32_t wait = std::min(c.TimeoutMs(Timeout::kReceive), kAbortWaitMs);
  Reply reply;
  if (abort) {
    if (!c.control.Send("ABOR", wait, error) || !c.control.ReadReply(wait, reply, error)) {
      return;
    }
  }
  if (!c.control.Send("NOOP", wait, error)) return;
  for (int k = 0; k < 8; ++k) {
    if (!c.control.ReadReply(wait, reply, error) || reply.code == 200) return;
  }
  c.control.Close();  // a server that never answers NOOP cannot be followed any more
}

// Opens the data connection for `command` (RETR/STOR/LIST ...) and sends it.
bool OpenData(FtpConnection& c, const std::string& command, Socket& data) {
  Reply reply;
  std::uint32_t error = 0;
  if (c.passive) {
    int port = -1;
    if (c.server.family() == AF_INET) {
      if (!c.Command("PASV", reply)) return false;
      if (reply.code == 227) port = PassivePort(reply);
    }
    if (port < 0) {
      if (!c.Command("EPSV", reply)) return false;
      if (reply.code != 229) return Refused(reply);
      port = PassivePort(reply);
    }
    if (port <= 0 || port > 65535) {
      SetLastError(kErrorConnectionAborted);
      return false;
    }
    // The address is always the control connection's peer: a reply cannot point elsewhere.
    Address target = c.server;
    target.SetPort(static_cast<std::uint16_t>(port));
    if (!Socket::ConnectTo(target, c.TimeoutMs(Timeout::kConnect), data, error)) {
      SetLastError(error);
      return false;
    }
    if (!c.Command(command, reply)) return false;
    if (reply.Class() != 1) {
      data.Close();
      return Refused(reply);
    }
    return true;
  }
  Address local;
  Socket listener;
  if (!c.control.socket().LocalAddress(local) || !Socket::Listen(local, listener, error)) {
    SetLastError(error == 0 ? kErrorInternalError : error);
    return false;
  }
  Address bound;
  listener.LocalAddress(bound);
  const std::string host = bound.HostText();
  const std::uint16_t port = bound.Port();
  bool accepted = false;
  if (bound.family() == AF_INET) {
    std::string numbers = host;
    for (char& ch : numbers) {
      if (ch == '.') ch = ',';
    }
    if (!c.Command("PORT " + numbers + "," + std::to_string(port / 256) + "," +
                       std::to_string(port % 256), reply)) {
      return false;
    }
    accepted = reply.Class() == 2;
  }
  if (!accepted && (bound.family() != AF_INET || c.offers_eprt)) {
    const Reply port_reply = reply;
    if (!c.Command("EPRT |" + std::string(bound.family() == AF_INET ? "1" : "2") + "|" + host +
                       "|" + std::to_string(port) + "|", reply)) {
      return false;
    }
    accepted = reply.Class() == 2;
    if (!accepted && bound.family() == AF_INET) reply = port_reply;
  }
  if (!accepted) return Refused(reply);
  if (!c.Command(command, reply)) return false;
  if (reply.Class() != 1) return Refused(reply);
  Address peer;
  if (!listener.Accept(c.TimeoutMs(Timeout::kConnect), data, peer, error)) {
    SetLastError(error);
    Resynchronise(c, true);
    return false;
  }
  if (!peer.SameHost(c.server)) {  // a stranger on our port is not the server's data
    data.Close();
    SetLastError(kErrorConnectionAborted);
    Resynchronise(c, true);
    return false;
  }
  return true;
}

// The reply that ends a transfer. False (error set) unless it reports success.
bool ReadFinalReply(FtpFile& file) {
  file.final_reply_read = true;
  Reply reply;
  std::uint32_t error = 0;
  if (!file.connection->control.ReadReply(file.TimeoutMs(Timeout::kReceive), reply, error)) {
    SetLastError(error);
    return false;
  }
  SetLastResponse(reply);
  if (reply.Class() != 2) return Refused(reply);
  file.final_reply_ok = true;
  return true;
}

bool SplitFilter(const std::string& filter, std::string& folder, std::string& pattern) {
  const std::size_t slash = filter.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    pattern = filter;
  } else {
    folder = slash == 0 ? "/" : filter.substr(0, slash);
    pattern = filter.substr(slash + 1);
  }
  return true;
}

}  // namespace

bool CloseFtpFile(FtpFile* file) {
  FtpConnection& c = *file->connection;
  bool ok = true;
  if (file->writing) {
    file->data.Close();  // end of the uploaded data
    ok = ReadFinalReply(*file);
  } else if (!file->final_reply_read) {
    // Closed before the end: abort the transfer and settle the replies it causes.
    file->data.Close();
    Resynchronise(c, true);
  }
  if (c.busy == file) c.busy = nullptr;
  return ok;
}

}  // namespace posix

using posix::FtpConnection;
using posix::FtpFile;
using posix::FtpFind;
using posix::Lookup;
using posix::SetLastError;

Handle FtpOpenFile(Handle handle, const std::string& name, std::uint32_t access,
                   std::uint32_t flags) {
  auto* c = Lookup<FtpConnection>(handle, InternetObject::Kind::kFtpConnection);
  if (c == nullptr) return nullptr;
  if (c->busy != nullptr) {
    SetLastError(kErrorFtpTransferInProgress);
    return nullptr;
  }
  const bool writing = (access & kGenericWrite) != 0;
  if (writing == ((access & kGenericRead) != 0)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  std::string wire;
  if (!c->ToWire(name, wire)) return nullptr;
  const char type = (flags & 3) == kTransferAscii ? 'A' : 'I';
  auto file = std::make_unique<FtpFile>();
  file->connection = c;
  file->writing = writing;
  if (!posix::SetType(*c, type) ||
      !posix::OpenData(*c, (writing ? "STOR " : "RETR ") + wire, file->data)) {
    return nullptr;
  }
  if (!writing) file->buffer.resize(posix::kReceiveChunk);
  FtpFile* raw = file.release();
  posix::Register(raw, c);
  c->busy = raw;
  return raw;
}

bool InternetReadFile(Handle handle, void* buffer, std::uint32_t size, std::uint32_t* read) {
  auto* file = Lookup<FtpFile>(handle, InternetObject::Kind::kFtpFile);
  if (file == nullptr) return false;
  if (file->writing || read == nullptr) {
    SetLastError(kErrorInvalidOperation);
    return false;
  }
  char* out = static_cast<char*>(buffer);
  std::uint32_t total = 0;
  while (total < size) {
    if (file->buffer_pos < file->buffer_len) {
      const std::size_t n = std::min<std::size_t>(size - total, file->buffer_len - file->buffer_pos);
      std::memcpy(out + total, file->buffer.data() + file->buffer_pos, n);
      file->buffer_pos += n;
      total += static_cast<std::uint32_t>(n);
      continue;
    }
    if (file->at_end) break;
    std::uint32_t error = 0;
    const long n = file->data.Receive(file->buffer.data(), file->buffer.size(),
                                      file->TimeoutMs(Timeout::kDataReceive), error);
    if (n < 0) {
      SetLastError(error);
      return false;
    }
    if (n == 0) {
      file->at_end = true;
      file->data.Close();
      if (!posix::ReadFinalReply(*file)) return false;
      continue;
    }
    file->buffer_pos = 0;
    file->buffer_len = static_cast<std::size_t>(n);
  }
  *read = total;
  return true;
}

bool InternetWriteFile(Handle handle, const void* buffer, std::uint32_t size,
                       std::uint32_t* written) {
  auto* file = Lookup<FtpFile>(handle, InternetObject::Kind::kFtpFile);
  if (file == nullptr) return false;
  if (!file->writing) {
    SetLastError(kErrorInvalidOperation);
    return false;
  }
  std::uint32_t error = 0;
  if (size > 0 &&
      !file->data.SendAll(buffer, size, file->TimeoutMs(Timeout::kDataSend), error)) {
    SetLastError(error);
    return false;
  }
  if (written != nullptr) *written = size;
  return true;
}

Handle FtpFindFirstFile(Handle handle, const std::string& filter, FindData& data,
                        std::uint32_t flags) {
  (void)flags;  // nothing is cached here: every listing comes from the server
  auto* c = Lookup<FtpConnection>(handle, InternetObject::Kind::kFtpConnection);
  if (c == nullptr) return nullptr;
  if (c->busy != nullptr) {
    SetLastError(kErrorFtpTransferInProgress);
    return nullptr;
  }
  std::string folder, pattern, wire;
  posix::SplitFilter(filter, folder, pattern);
  if (!folder.empty() && !c->ToWire(folder, wire)) return nullptr;
  FtpFile listing;
  listing.connection = c;
  listing.timeouts = c->timeouts;
  if (!posix::SetType(*c, 'A') ||
      !posix::OpenData(*c, folder.empty() ? "LIST" : "LIST " + wire, listing.data)) {
    return nullptr;
  }
  std::string text;
  char chunk[65536];
  for (;;) {
    std::uint32_t error = 0;
    const long n = listing.data.Receive(chunk, sizeof chunk,
                                        c->TimeoutMs(Timeout::kDataReceive), error);
    if (n < 0 || text.size() > posix::kMaxListing) {
      SetLastError(n < 0 ? error : kErrorInternalError);
      posix::CloseFtpFile(&listing);
      return nullptr;
    }
    if (n == 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  listing.data.Close();
  if (!posix::ReadFinalReply(listing)) return nullptr;

  auto find = std::make_unique<FtpFind>();
  find->connection = c;
  std::size_t unknown = 0;
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  std::size_t begin = 0;
  std::vector<FindData> entries;
  std::vector<std::string> wire_names;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    posix::ParsedListLine parsed =
        posix::ParseListLine(std::string_view(text).substr(begin, end - begin), now);
    begin = end + 1;
    if (parsed.kind == posix::ListLineKind::kUnknown) ++unknown;
    if (parsed.kind != posix::ListLineKind::kEntry) continue;
    wire_names.push_back(parsed.data.name);
    entries.push_back(std::move(parsed.data));
  }
  // The names of one listing are decoded together: they decide the connection's encoding.
  const std::vector<std::string> names = c->names.Decode(wire_names);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].name = names[i];
    if (posix::FilterMatches(pattern, entries[i].name)) {
      find->entries.push_back(std::move(entries[i]));
    }
  }
  if (find->entries.empty()) {
    // Lines that are no entries at all: a listing this client cannot read, not an empty one.
    SetLastError(unknown > 0 ? kErrorInternalError : kErrorNoMoreFiles);
    return nullptr;
  }
  data = find->entries[0];
  find->next = 1;
  FtpFind* raw = find.release();
  posix::Register(raw, c);
  return raw;
}

bool InternetFindNextFile(Handle handle, FindData& data) {
  auto* find = Lookup<FtpFind>(handle, InternetObject::Kind::kFtpFind);
  if (find == nullptr) return false;
  if (find->next >= find->entries.size()) {
    SetLastError(kErrorNoMoreFiles);
    return false;
  }
  data = find->entries[find->next++];
  return true;
}

bool FtpGetFile(Handle connection, const std::string& remote, const std::string& local,
                bool fail_if_exists, std::uint32_t attributes, std::uint32_t flags) {
  (void)attributes;
  struct stat st{};
  if (fail_if_exists && ::stat(local.c_str(), &st) == 0) {
    SetLastError(posix::kErrorFileExists);
    return false;
  }
  Handle file = FtpOpenFile(connection, remote, kGenericRead, flags);
  if (file == nullptr) return false;
  // Into a file beside the target, renamed over it only when everything arrived.
  const std::string temp = local + ".qmpart";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (out == nullptr) {
    const std::uint32_t error = posix::LocalFileError(errno);
    InternetCloseHandle(file);
    SetLastError(error);
    return false;
  }
  std::vector<char> buffer(posix::kReceiveChunk);
  bool ok = true;
  std::uint32_t error = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!InternetReadFile(file, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &got)) {
      ok = false;
      error = InternetLastError();
      break;
    }
    if (got == 0) break;
    if (std::fwrite(buffer.data(), 1, got, out) != got) {
      ok = false;
      error = posix::LocalFileError(errno);
      break;
    }
  }
  if (std::fclose(out) != 0 && ok) {
    ok = false;
    error = posix::LocalFileError(errno);
  }
  if (!InternetCloseHandle(file) && ok) {
    ok = false;
    error = InternetLastError();
  }
  if (ok && std::rename(temp.c_str(), local.c_str()) != 0) {
    ok = false;
    error = posix::LocalFileError(errno);
  }
  if (!ok) {
    std::remove(temp.c_str());
    SetLastError(error);
  }
  return ok;
}

bool FtpPutFile(Handle connection, const std::string& local, const std::string& remote,
                std::uint32_t flags) {
  std::FILE* in = std::fopen(local.c_str(), "rb");
  if (in == nullptr) {
    SetLastError(errno == ENOENT ? 2 : posix::LocalFileError(errno));  // ERROR_FILE_NOT_FOUND
    return false;
  }
  Handle file = FtpOpenFile(connection, remote, kGenericWrite, flags);
  if (file == nullptr) {
    std::fclose(in);
    return false;
  }
  std::vector<char> buffer(posix::kReceiveChunk);
  bool ok = true;
  std::uint32_t error = 0;
  for (;;) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
    if (n == 0) {
      if (std::ferror(in)) {
        ok = false;
        error = 30;  // ERROR_READ_FAULT
      }
      break;
    }
    std::uint32_t written = 0;
    if (!InternetWriteFile(file, buffer.data(), static_cast<std::uint32_t>(n), &written)) {
      ok = false;
      error = InternetLastError();
      break;
    }
  }
  std::fclose(in);
  if (!ok) {
    // The server must not keep a file that looks complete: abort by closing the data first.
    InternetCloseHandle(file);
    SetLastError(error);
    return false;
  }
  return InternetCloseHandle(file);
}

}  // namespace quillmend::inet

// Internet session port on POSIX, ours: sessions and handles, error state, FTP log-in and the
// one-command folder operations (RFC 959). Transfers and listings: internet_transfer.cpp.
#include "platform/internet.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "platform/posix/internet_handles.h"

namespace quillmend::inet {
namespace posix {
namespace {

thread_local std::uint32_t t_last_error = 0;
thread_local std::string t_last_response;
thread_local std::uint32_t t_last_response_code = 0;

std::mutex g_registry_mutex;
std::unordered_set<InternetObject*>& Registry() {
  static auto* live = new std::unordered_set<InternetObject*>();
  return *live;
}

}  // namespace

void SetLastError(std::uint32_t code) { t_last_error = code; }

void SetLastResponse(const Reply& reply) {
  t_last_response = reply.text;
  t_last_response_code = static_cast<std::uint32_t>(reply.code);
}

void SetServerRefused(const Reply& reply) {
  SetLastResponse(reply);
  SetLastError(kErrorExtendedError);
}

void Register(InternetObject* object, InternetObject* parent) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  object->parent = parent;
  if (parent != nullptr) {
    parent->children.push_back(object);
    object->timeouts = parent->timeouts;
  }
  Registry().insert(object);
}

bool IsLive(InternetObject* object) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  return Registry().count(object) != 0;
}

bool CloseObject(InternetObject* object) {
  while (!object->children.empty()) CloseObject(object->children.back());
  bool ok = true;
  if (object->kind == InternetObject::Kind::kFtpFile) {
    ok = CloseFtpFile(static_cast<FtpFile*>(object));
  } else if (object->kind == InternetObject::Kind::kFtpFind) {
    auto* find = static_cast<FtpFind*>(object);
    if (find->connection->busy == find) find->connection->busy = nullptr;
  } else if (object->kind == InternetObject::Kind::kFtpConnection) {
    auto* connection = static_cast<FtpConnection*>(object);
    if (connection->control.open()) {
      Reply reply;
      std::uint32_t error = 0;
      const std::uint32_t wait = std::min<std::uint32_t>(connection->TimeoutMs(Timeout::kReceive),
                                                         2000);
      if (connection->control.Send("QUIT", wait, error)) {
        connection->control.ReadReply(wait, reply, error);
      }
    }
  }
  {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    Registry().erase(object);
    if (object->parent != nullptr) {
      auto& siblings = object->parent->children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), object), siblings.end());
    }
  }
  delete object;
  return ok;
}

bool FtpConnection::Command(const std::string& command, Reply& reply) {
  std::uint32_t error = 0;
  if (!control.Send(command, TimeoutMs(Timeout::kSend), error) ||
      !control.ReadReply(TimeoutMs(Timeout::kReceive), reply, error)) {
    SetLastError(error);
    return false;
  }
  SetLastResponse(reply);
  return true;
}

bool FtpConnection::ToWire(const std::string& name, std::string& wire) const {
  const std::vector<WireName> forms = names.Encode(name);
  if (forms.empty()) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  wire = forms.front().bytes;
  return true;
}

namespace {

// Sends a one-argument command whose argument is a remote name and expects a reply class.
bool NameCommand(Handle handle, const std::string& verb, const std::string& name,
                 int wanted_class) {
  auto* connection = Lookup<FtpConnection>(handle, InternetObject::Kind::kFtpConnection);
  if (connection == nullptr) return false;
  if (connection->busy != nullptr) {
    SetLastError(kErrorFtpTransferInProgress);
    return false;
  }
  const std::vector<WireName> forms = connection->names.Encode(name);
  if (forms.empty()) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  // While the connection's encoding is open, a name the server does not know in one form is
  // tried in the other; the form it takes decides the encoding.
  Reply reply;
  for (const WireName& form : forms) {
    if (!connection->Command(verb + " " + form.bytes, reply)) return false;
    if (reply.Class() == wanted_class) {
      connection->names.Accepted(form);
      return true;
    }
    if (reply.Class() != 5) break;
  }
  SetServerRefused(reply);
  return false;
}

bool LogIn(FtpConnection& connection, const std::string& user, const std::string& password) {
  Reply reply;
  std::uint32_t error = 0;
  const std::uint32_t wait = connection.TimeoutMs(Timeout::kReceive);
  do {  // 120: ready in a while; the real greeting follows.
    if (!connection.control.ReadReply(wait, reply, error)) {
      SetLastError(error);
      return false;
    }
    SetLastResponse(reply);
  } while (reply.Class() == 1);
  if (reply.Class() != 2) {
    SetServerRefused(reply);
    return false;
  }
  const std::string name = user.empty() ? "anonymous" : user;
  if (!connection.Command("USER " + name, reply)) return false;
  if (reply.Class() == 3) {
    const std::string secret = user.empty() && password.empty() ? "User@" : password;
    if (!connection.Command("PASS " + secret, reply)) return false;
    if (reply.Class() != 2) {
      SetLastResponse(reply);
      SetLastError(reply.code == 530 ? kErrorIncorrectPassword : kErrorExtendedError);
      return false;
    }
  } else if (reply.Class() != 2) {
    SetLastResponse(reply);
    SetLastError(reply.code == 530 ? kErrorIncorrectUserName : kErrorExtendedError);
    return false;
  }
  const std::string login_reply = reply.text;
  // Features: UTF-8 names, extended active and passive modes. Failure here is not fatal.
  if (connection.Command("FEAT", reply) && reply.Class() == 2) {
    std::string upper = reply.text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const bool utf8 = upper.find(" UTF8") != std::string::npos;
    if (utf8) connection.names.AnnounceUtf8();
    connection.offers_eprt = upper.find(" EPRT") != std::string::npos;
    connection.offers_epsv = upper.find(" EPSV") != std::string::npos;
    // Some servers speak UTF-8 without accepting this option; the answer is not needed.
    if (utf8) connection.Command("OPTS UTF8 ON", reply);
  } else if (!connection.control.open()) {
    return false;
  }
  Reply login;
  login.code = 230;
  login.text = login_reply;
  SetLastResponse(login);
  return true;
}

}  // namespace
}  // namespace posix

using posix::FtpConnection;
using posix::Lookup;
using posix::Reply;
using posix::SetLastError;

std::uint32_t InternetObject::TimeoutMs(Timeout which) const {
  const auto found = timeouts.find(which);
  return found == timeouts.end() || found->second == 0 ? kDefaultTimeoutMs : found->second;
}

std::uint32_t InternetLastError() { return posix::t_last_error; }

std::string InternetGetLastResponseInfo(std::uint32_t* error_code) {
  if (error_code != nullptr) *error_code = posix::t_last_response_code;
  return posix::t_last_response;
}

std::string InternetErrorText(std::uint32_t code) {
  static const std::map<std::uint32_t, const char*> kTexts = {
      {kErrorOutOfHandles, "No more handles could be generated at this time."},
      {kErrorTimeout, "The operation timed out"},
      {kErrorExtendedError, "An extended error was returned from the server."},
      {kErrorInternalError, "An internal error occurred."},
      {kErrorNameNotResolved, "The server name or address could not be resolved"},
      {kErrorIncorrectUserName, "The user name was not allowed"},
      {kErrorIncorrectPassword, "The password was not allowed"},
      {kErrorLoginFailure, "The login request was denied"},
      {kErrorInvalidOperation, "The requested operation is invalid"},
      {kErrorIncorrectHandleType, "The type of handle supplied is incorrect for this operation"},
      {kErrorIncorrectHandleState,
       "The requested operation cannot be carried out because the handle supplied is not in "
       "the correct state"},
      {kErrorCannotConnect, "A connection with the server could not be established"},
      {kErrorConnectionAborted, "The connection with the server was terminated abnormally"},
      {kErrorConnectionReset, "The connection with the server was reset"},
      {kErrorFtpTransferInProgress, "There is already an FTP request in progress on this session"},
      {kErrorFtpDropped, "The FTP session was terminated"},
  };
  const auto found = kTexts.find(code);
  return found == kTexts.end() ? std::string() : std::string(found->second) + "\r\n";
}

std::uint32_t InternetAttemptConnect() { return 0; }

Handle InternetOpen(const std::string& agent, std::uint32_t access_type, std::uint32_t flags) {
  (void)access_type;  // no proxy support: direct and preconfigured are the same here
  (void)flags;
  auto* session = new posix::Session();
  session->agent = agent;
  posix::Register(session, nullptr);
  return session;
}

bool InternetSetTimeout(Handle handle, Timeout which, std::uint32_t milliseconds) {
  if (handle == nullptr || !posix::IsLive(handle)) {
    SetLastError(kErrorIncorrectHandleType);
    return false;
  }
  handle->timeouts[which] = milliseconds;
  return true;
}

Handle InternetConnect(Handle session_handle, const std::string& server, std::uint16_t port,
                       const std::string& user, const std::string& password,
                       std::uint32_t service, std::uint32_t flags) {
  auto* session = Lookup<posix::Session>(session_handle, InternetObject::Kind::kSession);
  if (session == nullptr) return nullptr;
  if (service != kServiceFtp) {
    SetLastError(kErrorInvalidOperation);
    return nullptr;
  }
  auto connection = std::make_unique<FtpConnection>();
  connection->timeouts = session->timeouts;
  connection->passive = (flags & kFlagPassive) != 0;
  posix::Socket socket;
  std::uint32_t error = 0;
  if (!posix::Socket::Connect(server, port == 0 ? 21 : port,
                              connection->TimeoutMs(Timeout::kConnect), socket, error)) {
    SetLastError(error);
    return nullptr;
  }
  socket.PeerAddress(connection->server);
  connection->control = posix::ControlChannel(std::move(socket));
  if (!posix::LogIn(*connection, user, password)) return nullptr;
  FtpConnection* raw = connection.release();
  posix::Register(raw, session);
  return raw;
}

bool InternetCloseHandle(Handle handle) {
  if (handle == nullptr || !posix::IsLive(handle)) {
    SetLastError(kErrorIncorrectHandleType);
    return false;
  }
  return posix::CloseObject(handle);
}

bool FtpGetCurrentDirectory(Handle handle, std::string& directory) {
  auto* connection = Lookup<FtpConnection>(handle, InternetObject::Kind::kFtpConnection);
  if (connection == nullptr) return false;
  if (connection->busy != nullptr) {
    SetLastError(kErrorFtpTransferInProgress);
    return false;
  }
  Reply reply;
  if (!connection->Command("PWD", reply)) return false;
  if (reply.code != 257) {
    posix::SetServerRefused(reply);
    return false;
  }
  // 257 "dir" comment; a quote inside the name is doubled.
  const std::string line = reply.text.substr(0, reply.text.find('\n'));
  const std::size_t open = line.find('"');
  std::string wire;
  if (open == std::string::npos) {
    wire = line.size() > 4 ? line.substr(4) : std::string();
    while (!wire.empty() && (wire.back() == '\r' || wire.back() == ' ')) wire.pop_back();
  } else {
    for (std::size_t i = open + 1; i < line.size(); ++i) {
      if (line[i] == '"') {
        if (i + 1 < line.size() && line[i + 1] == '"') {
          wire += '"';
          ++i;
          continue;
        }
        break;
      }
      wire += line[i];
    }
  }
  directory = connection->names.DecodeOne(wire);
  return true;
}

bool FtpSetCurrentDirectory(Handle connection, const std::string& directory) {
  return posix::NameCommand(connection, "CWD", directory, 2);
}

bool FtpCreateDirectory(Handle connection, const std::string& directory) {
  return posix::NameCommand(connection, "MKD", directory, 2);
}

bool FtpRemoveDirectory(Handle connection, const std::string& directory) {
  return posix::NameCommand(connection, "RMD", directory, 2);
}

bool FtpDeleteFile(Handle connection, const std::string& file) {
  return posix::NameCommand(connection, "DELE", file, 2);
}

bool FtpRenameFile(Handle connection, const std::string& existing, const std::string& new_name) {
  return posix::NameCommand(connection, "RNFR", existing, 3) &&
         posix::NameCommand(connection, "RNTO", new_name, 2);
}

}  // namespace quillmend::inet

// Local FTP servers for tests: pyftpdlib, and vsftpd, proftpd and pure-ftpd (each from a
// configuration file of our own beside serve_ftp.py), each on 127.0.0.1 with a port chosen
// when it starts, started by the test through tests/support/serve_ftp.py and stopped by the
// destructor. Under Wine the servers run on the Linux host beneath.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillmend::testing {

enum class FtpServerKind { kPyftpdlib, kVsftpd, kProftpd, kPureFtpd };

// "pyftpdlib", "vsftpd", "proftpd", "pure-ftpd".
const char* FtpServerName(FtpServerKind kind);

struct FtpServerOptions {
  // The folder the server serves as "/" (must exist). vsftpd serves it to its anonymous user,
  // so Start makes it and everything below it readable and writable by that user.
  std::string root;
  // pyftpdlib only: faults to act out (see serve_ftp.py), e.g. "retr-limit=1024", "silent",
  // "silent-cmd=PWD", "long-reply=PWD", "close-mid-reply=PWD", "refuse-port",
  // "list-raw=<file>".
  std::vector<std::string> misbehave;
  // Whether the server offers passive (PASV/EPSV) data connections (pyftpdlib, vsftpd).
  bool passive = true;
  // vsftpd and proftpd: whether FEAT offers UTF8. Both keep the names' UTF-8 bytes either way;
  // false is vsftpd's default and proftpd's without its language engine.
  bool utf8_feat = true;
};

class FtpServer {
 public:
  // Starts a server and waits until it accepts connections. nullptr when it cannot be started;
  // LastStartError() then says why.
  static std::unique_ptr<FtpServer> Start(FtpServerKind kind, const FtpServerOptions& options);
  static std::string LastStartError();
  // True when this process can start its own local servers at all (pyftpdlib is present).
  static bool CanStartOwnServers();
  // True when a server of this kind can be started here (vsftpd, proftpd, pure-ftpd: present
  // and run as root).
  static bool CanStart(FtpServerKind kind);

  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  FtpServerKind kind() const { return kind_; }
  std::string host() const { return "127.0.0.1"; }
  int port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }
  std::string user() const { return user_; }
  std::string password() const { return password_; }
  const std::string& root() const { return root_; }
  // Makes files written into root() after Start readable and writable by the server's user.
  void Share() const;

 private:
  FtpServer();
  struct Process;
  FtpServerKind kind_ = FtpServerKind::kPyftpdlib;
  int port_ = 0;
  std::string user_;
  std::string password_;
  std::string root_;
  std::unique_ptr<Process> process_;
};

// A loopback port that is bound but not listening while the object lives: a connection to it
// is refused, and no other server can take it meanwhile.
class ClosedPort {
 public:
  ClosedPort();
  ~ClosedPort();
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  int port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }

 private:
  std::intptr_t socket_ = -1;
  int port_ = 0;
};

}  // namespace quillmend::testing

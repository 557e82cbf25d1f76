// pyftpdlib on 127.0.0.1 with a port the system chooses, serving one folder to one account,
// started through the tests' FTP server launcher; stopped when the object goes away.
#pragma once

#include <memory>
#include <string>

#include "child_process.h"

namespace quillmend::sandbox {

class LocalFtpServer {
 public:
  // Starts the server over root. bytes_per_second > 0 paces every data connection to that
  // rate, as a link slower than loopback would; with shared_link all data connections share
  // that rate, as the workstations of one clinic share its line. With bytes_file set, the
  // server keeps the total of the bytes it sent over data connections in that file. Throws std::runtime_error when it does not
  // report its port within 20 seconds (pyftpdlib missing, root not a folder).
  LocalFtpServer(const std::string& root, const std::string& user, const std::string& password,
                 long long bytes_per_second = 0, bool shared_link = false,
                 const std::string& bytes_file = "");

  const std::string& port() const { return port_; }
  pid_t pid() const { return server_->pid(); }

 private:
  std::unique_ptr<ChildProcess> server_;
  std::string port_;
};

// The launcher script: QUILLMEND_SERVE_FTP when set, else tests/support/serve_ftp.py of the
// sources this was built from.
std::string ServeFtpScript();

}  // namespace quillmend::sandbox

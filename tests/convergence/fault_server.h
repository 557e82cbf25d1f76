// The suite's FTP server (fault_ftp_server.py) as a child process: serves the release set and
// takes fault commands while it runs. Stopped when the object goes away.
#pragma once

#include <memory>
#include <string>

#include "child_process.h"

namespace quillmend::convergence {

class FaultServer {
 public:
  // Starts the server over root for user/password; throws std::runtime_error when it does not
  // report its port within 20 seconds.
  FaultServer(const std::string& script, const std::string& root, const std::string& user,
              const std::string& password);
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  const std::string& port() const { return port_; }
  // Sends one command line (see the script) and waits for its "OK"; throws std::runtime_error
  // with the server's answer otherwise.
  void Command(const std::string& line);
  // Every fault off and listening again.
  void Heal();

 private:
  std::unique_ptr<sandbox::ChildProcess> server_;
  int to_server_ = -1;
  std::string port_;
};

}  // namespace quillmend::convergence

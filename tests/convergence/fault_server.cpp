#include "fault_server.h"

#include <stdexcept>
#include <vector>

namespace quillmend::convergence {

FaultServer::FaultServer(const std::string& script, const std::string& root,
                         const std::string& user, const std::string& password) {
  sandbox::ChildOptions options;
  options.pipe_stdout = true;
  // It serves until its input closes: it never outlives the suite.
  options.pipe_stdin = true;
  // pyftpdlib is a package of the system's interpreter, which another python3 may not see.
  server_ = std::make_unique<sandbox::ChildProcess>(
      std::vector<std::string>{"/usr/bin/python3", script, root, "--user", user, "--password",
                               password},
      options);
  const std::string line = server_->ReadLine(20);
  if (line.rfind("PORT ", 0) != 0) {
    throw std::runtime_error("the fault FTP server did not report its port: " + line);
  }
  port_ = line.substr(5);
}

FaultServer::~FaultServer() = default;

void FaultServer::Command(const std::string& line) {
  server_->WriteInput(line + "\n");
  const std::string answer = server_->ReadLine(20);
  if (answer != "OK") {
    throw std::runtime_error("the fault FTP server refused \"" + line + "\": " + answer);
  }
}

void FaultServer::Heal() {
  Command("clear");
  Command("start");
}

}  // namespace quillmend::convergence

#include "local_ftp_server.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#ifndef QM_SERVE_FTP_SCRIPT
#define QM_SERVE_FTP_SCRIPT "serve_ftp.py"
#endif

namespace quillmend::sandbox {

std::string ServeFtpScript() {
  if (const char* forced = std::getenv("QUILLMEND_SERVE_FTP"); forced && *forced) return forced;
  return QM_SERVE_FTP_SCRIPT;
}

LocalFtpServer::LocalFtpServer(const std::string& root, const std::string& user,
                               const std::string& password, long long bytes_per_second,
                               bool shared_link, const std::string& bytes_file) {
  ChildOptions options;
  options.pipe_stdout = true;
  // The launcher serves until its standard input closes: it never outlives this object, nor
  // this process.
  options.pipe_stdin = true;
  // pyftpdlib is a Debian package of the system's interpreter, which another python3 on PATH
  // may not see.
  std::vector<std::string> argv{"/usr/bin/python3", ServeFtpScript(), root, "--user", user,
                                "--password", password};
  if (bytes_per_second > 0) {
    argv.push_back("--rate");
    argv.push_back(std::to_string(bytes_per_second));
    if (shared_link) argv.push_back("--shared-link");
  }
  if (!bytes_file.empty()) {
    argv.push_back("--count-bytes");
    argv.push_back(bytes_file);
  }
  server_ = std::make_unique<ChildProcess>(argv, options);
  const std::string line = server_->ReadLine(20);
  if (line.rfind("PORT ", 0) != 0) {
    throw std::runtime_error("the FTP server did not report its port: " + line);
  }
  port_ = line.substr(5);
}

}  // namespace quillmend::sandbox

// The launcher process behind a test FTP server (tests/support/serve_ftp.py run by the host's
// /usr/bin/python3): started with pipes on its standard input and output, talked to in lines,
// and ended by closing its input. One implementation per platform.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/ftp_servers.h"

namespace quillmend::testing {

class LauncherProcess {
 public:
  virtual ~LauncherProcess() = default;
  // Writes one line (a line end is added).
  virtual bool WriteLine(const std::string& line) = 0;
  // Reads one line (without its line end) within `seconds`; false on time-out or end.
  virtual bool ReadLine(int seconds, std::string& line) = 0;
};

// Starts serve_ftp.py with `args`; nullptr (and `error`) when it cannot be started. The
// destructor closes the launcher's input, which stops the server, and waits for it briefly.
std::unique_ptr<LauncherProcess> StartLauncher(const std::vector<std::string>& args,
                                               std::string& error);
// The host path of a path this process uses (the same natively; the Unix path under Wine).
std::string LauncherPath(const std::string& local_path);
// False for a server kind this platform's Internet client cannot use at all, so that its tests
// are skipped rather than failed (Wine's WinINet fails to log in to proftpd and pure-ftpd).
bool ClientCanUse(FtpServerKind kind);

}  // namespace quillmend::testing

// What the update-pass benchmarks share: an FTP root with published versions served by one
// local pyftpdlib, a fresh sandbox clinic per measured pass, and timing one agent run whose
// pass must install the version (a pass that failed is never reported as a time).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "agent_run.h"
#include "clinic_sandbox.h"
#include "local_ftp_server.h"

namespace quillmend::bench {

class PassBench {
 public:
  // work: a folder the benchmark may empty and fill.
  explicit PassBench(const std::string& work);

  // The folder of a version on the served root (<work>/ftp/orvel/<version>).
  std::string VersionFolder(const std::string& version) const;
  // Starts the FTP server over <work>/ftp (stopping one started before); call after the
  // versions are in place. bytes_per_second > 0 paces each transfer to that link rate.
  void Serve(long long bytes_per_second = 0);

  // A fresh clinic at 7.5.12 whose CRM publishes version (every file below its folder), or
  // nothing newer when version is empty, pointed at the server.
  sandbox::SandboxLayout FreshClinic(const std::string& version);
  // Runs the agent once in the clinic; returns its wall time. Throws std::runtime_error with
  // the agent's output when the pass did not install the version with all its files.
  double TimedPass(const sandbox::SandboxLayout& clinic, const std::string& version);

  const std::string& work() const { return work_; }
  const std::string& port() const { return server_->port(); }

 private:
  std::string work_;
  std::unique_ptr<sandbox::LocalFtpServer> server_;
  int clinics_ = 0;
};

// Seconds since start.
double SecondsSince(std::chrono::steady_clock::time_point start);

}  // namespace quillmend::bench

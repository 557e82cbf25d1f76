#include "pass_bench.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "sandbox_report.h"

#ifndef QM_AGENT_PATH
#define QM_AGENT_PATH "quillmend"
#endif

namespace quillmend::bench {
namespace {

namespace fs = std::filesystem;

size_t FilesBelow(const std::string& folder) {
  size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) ++count;
  }
  return count;
}

}  // namespace

PassBench::PassBench(const std::string& work) : work_(work) {
  fs::remove_all(work_);
  fs::create_directories(work_ + "/ftp/orvel");
}

std::string PassBench::VersionFolder(const std::string& version) const {
  return work_ + "/ftp/orvel/" + version;
}

void PassBench::Serve(long long bytes_per_second) {
  server_.reset();
  server_ = std::make_unique<sandbox::LocalFtpServer>(work_ + "/ftp", sandbox::kFtpUser,
                                                      sandbox::kFtpPassword, bytes_per_second);
}

sandbox::SandboxLayout PassBench::FreshClinic(const std::string& version) {
  const sandbox::SandboxLayout clinic(work_ + "/clinic" + std::to_string(++clinics_));
  sandbox::CreateClinic(clinic, sandbox::ClinicOptions{});
  if (!version.empty()) sandbox::PublishExistingFolder(clinic, version, VersionFolder(version));
  sandbox::PointAtFtpServer(clinic, server_->port());
  return clinic;
}

double PassBench::TimedPass(const sandbox::SandboxLayout& clinic, const std::string& version) {
  const sandbox::AgentRun run = sandbox::RunAgentOnce(QM_AGENT_PATH, clinic);
  const sandbox::InstalledSummary summary = sandbox::Summarize(clinic);
  const size_t expected = version.empty() ? 0 : FilesBelow(VersionFolder(version));
  const std::string expected_last = version.empty() ? "7.5.12" : version;
  if (run.status != 0 || summary.last_version != expected_last ||
      summary.applied_rows != expected) {
    throw std::runtime_error("the pass did not install " + version + ": exit " +
                             std::to_string(run.status) + ", Last " + summary.last_version + ", " +
                             std::to_string(summary.applied_rows) + " of " +
                             std::to_string(expected) + " files recorded\nagent output:\n" +
                             run.output);
  }
  return run.seconds;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace quillmend::bench

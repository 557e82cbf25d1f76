// One download per clinic. A sandbox clinic of N online workstations (default 5) that share one
// clinic database and one clinic share installs one version of 64 MiB (eight 8 MiB files as
// CABs) from one local pyftpdlib whose data connections share one line paced to a clinic's
// internet link (default 20 Mbit/s). The agents start half a second apart; measured twice, with
// [Distribution] ShareFirst off and on: the bytes the FTP server sent over data connections
// (listings included) as a multiple of one copy of the version, and the fleet's wall time (first start to
// last exit). Every agent must install the version whole, or the run fails.
// Goal: FTP bytes with the switch on <= 1.05 x one copy, and a lower fleet wall time than off.
// Usage: bench_share_first [work folder] [workstations] [link Mbit/s]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "agent_run.h"
#include "child_process.h"
#include "clinic_sandbox.h"
#include "local_ftp_server.h"
#include "sandbox_report.h"
#include "startup/profile_file.h"
#include "support/sqlite_fixtures.h"

#ifndef QM_AGENT_PATH
#define QM_AGENT_PATH "quillmend"
#endif

namespace fs = std::filesystem;
using namespace quillmend;

namespace {

constexpr int kFiles = 8;
constexpr size_t kFileSize = 8u << 20;
const std::string kVersion = "7.5.13";
constexpr int kStartGapMs = 500;

// The bytes the server has sent over data connections, as it keeps them in file.
long long BytesSent(const std::string& file) {
  std::ifstream in(file);
  long long value = 0;
  in >> value;
  return value;
}

struct Fleet {
  double seconds = 0;
  long long ftp_bytes = 0;
};

Fleet RunFleet(const std::string& work, const std::string& source_version_folder, int count,
               long long bytes_per_second, bool share_first) {
  const std::string root = work + (share_first ? "/on" : "/off");
  fs::remove_all(root);
  const std::string share = root + "/server/download";
  fs::create_directories(share);
  // The FTP root of the fleet: the version's archives.
  const std::string ftp = root + "/ftp";
  fs::create_directories(ftp + "/orvel");
  fs::copy(source_version_folder, ftp + "/orvel/" + kVersion, fs::copy_options::recursive);
  const std::string bytes_file = root + "/ftp-bytes";
  sandbox::LocalFtpServer server(ftp, sandbox::kFtpUser, sandbox::kFtpPassword, bytes_per_second,
                                 true, bytes_file);
  std::vector<sandbox::SandboxLayout> workstations;
  for (int i = 0; i < count; ++i) {
    workstations.emplace_back(root + "/ws" + std::to_string(i + 1));
    const sandbox::SandboxLayout& ws = workstations.back();
    sandbox::CreateClinic(ws, sandbox::ClinicOptions{});
    // One clinic database for all: the first workstation's.
    testing::WriteClinicDbSettings(ws.program_folder, workstations.front().clinic_db);
    WriteProfileValue(ws.settings_file, "SERVER", "PATH", share);
    if (share_first) WriteProfileValue(ws.agent_settings, "Distribution", "ShareFirst", "1");
    sandbox::PublishExistingFolder(ws, kVersion, ftp + "/orvel/" + kVersion);
    sandbox::PointAtFtpServer(ws, server.port());
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<sandbox::ChildProcess>> agents;
  for (const sandbox::SandboxLayout& ws : workstations) {
    sandbox::ChildOptions options;
    options.environment = sandbox::AgentEnvironment(ws, true);
    options.stdout_file = ws.root + "/agent-run.log";
    options.stderr_file = ws.root + "/agent-run.log.err";
    agents.push_back(std::make_unique<sandbox::ChildProcess>(
        std::vector<std::string>{QM_AGENT_PATH}, options));
    // Half a second apart: five listings in the same instant over the paced line have been
    // seen to end in "426 Transfer aborted" with the switch off (left to the FTP work).
    std::this_thread::sleep_for(std::chrono::milliseconds(kStartGapMs));
  }
  const auto deadline = start + std::chrono::minutes(20);
  for (auto& agent : agents) {
    while (agent->Running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  Fleet fleet;
  fleet.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fleet.ftp_bytes = BytesSent(bytes_file);
  for (size_t i = 0; i < agents.size(); ++i) {
    const int status = agents[i]->Running() ? agents[i]->Stop() : agents[i]->Wait();
    const sandbox::InstalledSummary summary = sandbox::Summarize(workstations[i]);
    if (status != 0 || summary.last_version != kVersion) {
      throw std::runtime_error("workstation " + std::to_string(i + 1) + " did not install " +
                               kVersion + ": exit " + std::to_string(status) + ", Last " +
                               summary.last_version + "; see " + workstations[i].root);
    }
  }
  return fleet;
}

}  // namespace

int main(int argc, char** argv) {
  return sandbox::MainGuarded([&] {
    const std::string work =
        argc > 1 ? argv[1] : (fs::temp_directory_path() / "qm-bench-share").string();
    const int count = std::max(2, argc > 2 ? std::atoi(argv[2]) : 5);
    const int link_mbit = std::max(1, argc > 3 ? std::atoi(argv[3]) : 20);
    fs::remove_all(work);
    const std::string version_folder = work + "/version/" + kVersion;
    uintmax_t one_copy = 0;
    for (int i = 0; i < kFiles; ++i) {
      const bool system = i >= 6;
      const std::string name = system ? "orvel" + std::to_string(i) + ".dll"
                                      : "part" + std::to_string(i) + ".exe";
      const std::string source = work + "/sources/" + name;
      sandbox::WriteBytes(source, sandbox::ProgramLikeBytes(kFileSize, 100 + i));
      const std::string folder = version_folder + (system ? "/system" : "/program");
      fs::create_directories(folder);
      sandbox::MakeCab(folder + "/" + name + ".cab", source);
      one_copy += fs::file_size(folder + "/" + name + ".cab");
    }
    const long long rate = static_cast<long long>(link_mbit * 1e6 / 8);
    std::printf("%d workstations, one clinic database and share; version %s: %d files, "
                "%.1f MiB expanded, %.1f MiB of CABs; one line of %d Mbit/s\n",
                count, kVersion.c_str(), kFiles, kFiles * static_cast<double>(kFileSize) / (1 << 20),
                static_cast<double>(one_copy) / (1 << 20), link_mbit);
    const Fleet off = RunFleet(work, version_folder, count, rate, false);
    const Fleet on = RunFleet(work, version_folder, count, rate, true);
    const double copy = static_cast<double>(one_copy);
    std::printf("ShareFirst off: FTP %8.1f MiB = %5.2f x one copy, fleet %8.2f s\n",
                off.ftp_bytes / 1048576.0, off.ftp_bytes / copy, off.seconds);
    std::printf("ShareFirst on:  FTP %8.1f MiB = %5.2f x one copy, fleet %8.2f s\n",
                on.ftp_bytes / 1048576.0, on.ftp_bytes / copy, on.seconds);
    std::printf("ratio FTP bytes on / one copy:     %6.3f  (goal <= 1.05)\n", on.ftp_bytes / copy);
    std::printf("ratio fleet wall time on / off:    %6.3f  (goal < 1)\n", on.seconds / off.seconds);
    return 0;
  });
}

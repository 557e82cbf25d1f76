// The whole update pass for one 64 MiB version (8 program files of 8 MiB as MSZIP CABs: agent
// start, catalogue, download, expand, place, record) against wget -m mirroring the same version
// folder from the same local pyftpdlib in the same run, and against wget -m followed by
// cabextract of the mirrored archives. Measured twice: over bare loopback, and with the server
// pacing each transfer to a clinic's internet link (100 Mbit/s unless given), where the link
// and not the machine sets wget's time. Prints the times and the ratios (target: within 2x of
// wget's mirror).
// Usage: bench_pass_vs_wget [work folder] [rounds] [link Mbit/s, 0: loopback only]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "clinic_sandbox.h"
#include "pass_bench.h"

namespace fs = std::filesystem;
using namespace quillmend;

namespace {

constexpr int kFiles = 8;
constexpr size_t kFileSize = 8u << 20;

std::vector<std::string> CabsBelow(const std::string& folder) {
  std::vector<std::string> cabs;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() == ".cab") {
      cabs.push_back(entry.path().string());
    }
  }
  return cabs;
}

int Run(const std::vector<std::string>& argv) {
  sandbox::ChildOptions quiet;
  quiet.stdout_file = "/dev/null";
  quiet.stderr_file = "/dev/null";
  return sandbox::RunProgram(argv, quiet);
}

struct Times {
  double empty = 1e9, pass = 1e9, wget = 1e9, wget_cab = 1e9;
};

// Best of rounds for each measurement against the server as it is now serving.
Times Measure(bench::PassBench& bench, const std::string& version, int rounds) {
  const std::string url = "ftp://" + std::string(sandbox::kFtpUser) + ":" + sandbox::kFtpPassword +
                          "@127.0.0.1:" + bench.port() + "/orvel/" + version + "/";
  Times best;
  for (int round = 0; round < rounds; ++round) {
    best.empty = std::min(best.empty, bench.TimedPass(bench.FreshClinic(""), ""));
    best.pass = std::min(best.pass, bench.TimedPass(bench.FreshClinic(version), version));

    const std::string mirror = bench.work() + "/mirror" + std::to_string(round);
    auto start = std::chrono::steady_clock::now();
    if (Run({"wget", "-m", "-nH", "-q", "-P", mirror, url}) != 0) {
      throw std::runtime_error("wget -m " + url + " failed");
    }
    const double wget_seconds = bench::SecondsSince(start);
    start = std::chrono::steady_clock::now();
    const std::vector<std::string> cabs = CabsBelow(mirror);
    if (cabs.size() != kFiles) {
      throw std::runtime_error("wget mirrored " + std::to_string(cabs.size()) + " of " +
                               std::to_string(kFiles) + " archives");
    }
    for (const std::string& cab : cabs) {
      if (Run({"cabextract", "-q", "-d", fs::path(cab).parent_path().string(), cab}) != 0) {
        throw std::runtime_error("cabextract " + cab + " failed");
      }
    }
    best.wget = std::min(best.wget, wget_seconds);
    best.wget_cab = std::min(best.wget_cab, wget_seconds + bench::SecondsSince(start));
    fs::remove_all(mirror);
  }
  return best;
}

void Report(const std::string& link, const Times& t) {
  std::printf("-- %s\n", link.c_str());
  std::printf("agent run, nothing newer (start-up):   %8.3f s\n", t.empty);
  std::printf("agent run, whole pass:                 %8.3f s\n", t.pass);
  std::printf("wget -m:                               %8.3f s\n", t.wget);
  std::printf("wget -m + cabextract:                  %8.3f s\n", t.wget_cab);
  std::printf("ratio pass / wget -m:                  %8.2f  (target <= 2)\n", t.pass / t.wget);
  std::printf("ratio pass / (wget -m + cabextract):   %8.2f\n", t.pass / t.wget_cab);
  std::printf("ratio (pass - start-up) / wget -m:     %8.2f\n", (t.pass - t.empty) / t.wget);
}

}  // namespace

int main(int argc, char** argv) {
  return sandbox::MainGuarded([&] {
    const std::string work =
        argc > 1 ? argv[1] : (fs::temp_directory_path() / "qm-bench-wget").string();
    const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
    const int link_mbit = std::max(0, argc > 3 ? std::atoi(argv[3]) : 100);
    bench::PassBench bench(work);

    // Six program files and two system libraries, as a version of the product ships them.
    const std::string version = "7.6.0";
    for (int i = 0; i < kFiles; ++i) {
      const bool system = i >= 6;
      const std::string name = system ? "orvel" + std::to_string(i) + ".dll"
                                      : "part" + std::to_string(i) + ".exe";
      const std::string source = work + "/sources/" + name;
      sandbox::WriteBytes(source, sandbox::ProgramLikeBytes(kFileSize, 100 + i));
      const std::string folder = bench.VersionFolder(version) + (system ? "/system" : "/program");
      fs::create_directories(folder);
      sandbox::MakeCab(folder + "/" + name + ".cab", source);
    }
    uintmax_t served = 0;
    for (const std::string& cab : CabsBelow(bench.VersionFolder(version))) {
      served += fs::file_size(cab);
    }
    std::printf("version: %d files, %.1f MiB expanded, %.1f MiB of CABs served; "
                "best of %d round(s)\n",
                kFiles, kFiles * static_cast<double>(kFileSize) / (1 << 20),
                static_cast<double>(served) / (1 << 20), rounds);

    bench.Serve();
    Report("loopback, unpaced", Measure(bench, version, rounds));
    if (link_mbit > 0) {
      bench.Serve(static_cast<long long>(link_mbit * 1e6 / 8));
      Report("server paced to " + std::to_string(link_mbit) + " Mbit/s",
             Measure(bench, version, rounds));
    }
    return 0;
  });
}

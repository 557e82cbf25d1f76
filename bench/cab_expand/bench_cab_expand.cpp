// Expands the CABs of a 64 MiB payload (MSZIP, made with gcab) in process and with cabextract,
// several rounds each, and prints both throughputs and their ratio (ours / cabextract's).
// Usage: bench_cab_expand [work folder] [rounds]
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/cab_expand.h"
#include "support/program_bytes.h"

namespace fs = std::filesystem;
using quillmend::testing::ProgramLikeBytes;

namespace {

constexpr size_t kFiles = 8;
constexpr size_t kFileSize = 8u << 20;  // 8 x 8 MiB = 64 MiB

int Run(const std::string& command) {
  const int status = std::system(command.c_str());
  return status == -1 ? -1 : WEXITSTATUS(status);
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qm-bench-cab";
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  fs::remove_all(work);
  fs::create_directories(work / "src");
  fs::create_directories(work / "ours");
  fs::create_directories(work / "peer");

  std::vector<fs::path> cabs;
  for (size_t i = 0; i < kFiles; ++i) {
    const fs::path source = work / "src" / ("part" + std::to_string(i) + ".exe");
    std::ofstream(source, std::ios::binary) << ProgramLikeBytes(kFileSize, 100 + i);
    const fs::path cab = work / (source.filename().string() + ".cab");
    if (Run("gcab -c -z -n '" + cab.string() + "' '" + source.string() + "'") != 0) {
      std::fprintf(stderr, "gcab failed\n");
      return 1;
    }
    cabs.push_back(cab);
  }
  const double megabytes = static_cast<double>(kFiles * kFileSize) / (1 << 20);

  double best_ours = 1e9;
  double best_peer = 1e9;
  const quillmend::CommandRunner no_runner = [](const std::string&) {};
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (const fs::path& cab : cabs) {
      std::string error;
      const fs::path out = work / "ours" / cab.stem();
      if (!quillmend::ExpandSingleFileCabinet(cab.string(), out.string(), no_runner, &error)) {
        std::fprintf(stderr, "expansion failed: %s\n", error.c_str());
        return 1;
      }
    }
    best_ours = std::min(best_ours, Seconds(std::chrono::steady_clock::now() - start));

    start = std::chrono::steady_clock::now();
    for (const fs::path& cab : cabs) {
      if (Run("cabextract -q -d '" + (work / "peer").string() + "' '" + cab.string() + "'") != 0) {
        std::fprintf(stderr, "cabextract failed\n");
        return 1;
      }
    }
    best_peer = std::min(best_peer, Seconds(std::chrono::steady_clock::now() - start));
  }
  for (const fs::path& cab : cabs) {
    const std::string name = cab.stem().string();
    if (fs::file_size(work / "ours" / name) != fs::file_size(work / "peer" / name)) {
      std::fprintf(stderr, "the two expansions of %s differ in size\n", name.c_str());
      return 1;
    }
  }
  const double ours = megabytes / best_ours;
  const double peer = megabytes / best_peer;
  std::printf("payload %.0f MiB in %zu MSZIP archives, best of %d rounds\n", megabytes, kFiles,
              rounds);
  std::printf("in process: %.1f MiB/s\ncabextract: %.1f MiB/s\nratio (ours / cabextract): %.2f\n",
              ours, peer, ours / peer);
  fs::remove_all(work);
  return 0;
}

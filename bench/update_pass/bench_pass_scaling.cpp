// The whole update pass (agent start, catalogue, FTP walk, download, expand, place, record) for a
// version of 5000 small files in 50 folders against one of 500 files in 5 folders, served by the
// same local pyftpdlib in the same run. Prints both times and their ratio (target <= 11: the pass
// grows linearly with the version), also with the cost of an agent run that finds nothing newer
// taken off both.
// Usage: bench_pass_scaling [work folder] [rounds]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "clinic_sandbox.h"
#include "pass_bench.h"

namespace fs = std::filesystem;
using namespace quillmend;

namespace {

constexpr int kFilesPerFolder = 100;

// prefix + number + suffix (built by appending: GCC 12 warns wrongly about "x" + to_string at -O3).
std::string Numbered(const char* prefix, int number, const char* suffix) {
  std::string text = prefix;
  text += std::to_string(number);
  text += suffix;
  return text;
}

// folders x 100 files below <version>/program/dNN/, each a CAB of a 2 KiB program file
// (hard links of one archive: the server and the agent see separate files).
void MakeVersion(const std::string& folder, const std::string& cab, int folders) {
  for (int d = 0; d < folders; ++d) {
    const fs::path sub = fs::path(folder) / "program" / Numbered("d", d, "");
    fs::create_directories(sub);
    for (int f = 0; f < kFilesPerFolder; ++f) {
      const std::string name = Numbered("f", d * kFilesPerFolder + f, ".dat.cab");
      fs::create_hard_link(cab, sub / name);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  return sandbox::MainGuarded([&] {
    const std::string work = argc > 1 ? argv[1] : (fs::temp_directory_path() / "qm-bench-scaling").string();
    const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 1);
    bench::PassBench bench(work);

    const std::string source = work + "/small.dat";
    sandbox::WriteBytes(source, sandbox::ProgramLikeBytes(2048, 5));
    const std::string cab = work + "/small.dat.cab";
    sandbox::MakeCab(cab, source);
    const std::string small = "7.5.13";
    const std::string large = "7.5.14";
    MakeVersion(bench.VersionFolder(small), cab, 5);
    MakeVersion(bench.VersionFolder(large), cab, 50);
    bench.Serve();

    double best_empty = 1e9, best_small = 1e9, best_large = 1e9;
    for (int round = 0; round < rounds; ++round) {
      best_empty = std::min(best_empty, bench.TimedPass(bench.FreshClinic(""), ""));
      best_small = std::min(best_small, bench.TimedPass(bench.FreshClinic(small), small));
      best_large = std::min(best_large, bench.TimedPass(bench.FreshClinic(large), large));
    }
    std::printf("update pass, nothing newer (agent start-up):   %8.3f s\n", best_empty);
    std::printf("update pass, 500 files in 5 folders:           %8.3f s\n", best_small);
    std::printf("update pass, 5000 files in 50 folders:         %8.3f s\n", best_large);
    std::printf("ratio 5000/500, whole runs:                    %8.2f  (target <= 11)\n",
                best_large / best_small);
    const double net_small = best_small - best_empty;
    const double net_large = best_large - best_empty;
    if (net_small > 0) {
      std::printf("ratio 5000/500, start-up taken off:            %8.2f  (target <= 11)\n",
                  net_large / net_small);
    }
    std::printf("per file: %.2f ms (500), %.2f ms (5000); best of %d round(s)\n",
                1000 * net_small / 500, 1000 * net_large / 5000, rounds);
    return 0;
  });
}

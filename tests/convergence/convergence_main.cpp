// The convergence suite: per seed a clinic of two workstations (A online and downloading, B
// offline copying from A's download folder) meets a random schedule of faults while three
// versions are published, then runs clean passes until nothing changes. Every run is checked;
// the figures are printed at the end.
//
//   convergence_suite [--seeds N] [--first S] [--seed S] [--long] [--no-big] [--keep]
//                     [--work FOLDER] [--verbose] [--plan]
//
// --plan prints each seed's schedule without running it. A seed gives the same schedule for
// the same options and agent (whether it reads QUILLMEND_FAULTS changes the schedule); where a
// kill lands in a run still depends on timing.
//
// Short mode (the default): 20 seeds from 1, the file of more than 20 MiB in every fourth seed.
// --long: 500 seeds, the big file in each, and faults that outlast the agent's network time
// limits. QUILLMEND_CONVERGENCE_SEEDS overrides the number of seeds;
// QUILLMEND_CONVERGENCE_SHARE_FIRST=1 runs A with [Distribution] ShareFirst=1.
// Exit status 0 when every seed converged without a violation, 1 otherwise, 2 on bad usage.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "disk_faults.h"
#include "seed_run.h"
#include "support/sqlite_fixtures.h"

#ifndef QM_AGENT_PATH
#define QM_AGENT_PATH "quillmend"
#endif
#ifndef QM_FAULT_SERVER_SCRIPT
#define QM_FAULT_SERVER_SCRIPT "fault_ftp_server.py"
#endif

namespace {

using namespace quillmend::convergence;
namespace fs = std::filesystem;

struct Arguments {
  std::uint64_t first = 1;
  std::uint64_t seeds = 20;
  bool long_mode = false;
  bool big = true;
  bool keep = false;
  bool verbose = false;
  bool seeds_given = false;
  bool plan_only = false;
  std::string work;
};

bool Parse(int argc, char** argv, Arguments& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--seeds" && has_value) {
      a.seeds = std::strtoull(argv[++i], nullptr, 10);
      a.seeds_given = true;
    } else if (arg == "--first" && has_value) {
      a.first = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--seed" && has_value) {
      a.first = std::strtoull(argv[++i], nullptr, 10);
      a.seeds = 1;
      a.seeds_given = true;
    } else if (arg == "--long") {
      a.long_mode = true;
    } else if (arg == "--no-big") {
      a.big = false;
    } else if (arg == "--keep") {
      a.keep = true;
    } else if (arg == "--plan") {
      a.plan_only = true;
    } else if (arg == "--verbose") {
      a.verbose = true;
    } else if (arg == "--work" && has_value) {
      a.work = argv[++i];
    } else {
      return false;
    }
  }
  if (a.long_mode && !a.seeds_given) a.seeds = 500;
  if (const char* forced = std::getenv("QUILLMEND_CONVERGENCE_SEEDS"); forced && *forced) {
    a.seeds = std::strtoull(forced, nullptr, 10);
  }
  return a.seeds > 0;
}

// Whether the agent reads fault injections from QUILLMEND_FAULTS (its binary names the
// variable). QUILLMEND_CONVERGENCE_SEAM=0 or 1 decides instead.
bool AgentHasFaultSeam(const std::string& agent) {
  if (const char* forced = std::getenv("QUILLMEND_CONVERGENCE_SEAM"); forced && *forced) {
    return std::string(forced) == "1";
  }
  std::ifstream in(agent, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.find("QUILLMEND_FAULTS") != std::string::npos;
}

std::string RerunCommand(const std::string& self, const Arguments& a, std::uint64_t seed) {
  std::string command = self + " --seed " + std::to_string(seed);
  if (a.long_mode) command += " --long";
  if (!a.big) command += " --no-big";
  return command + " --keep --verbose";
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!Parse(argc, argv, args)) {
    std::fprintf(stderr,
                 "usage: %s [--seeds N] [--first S] [--seed S] [--long] [--no-big] [--keep] "
                 "[--work FOLDER] [--verbose] [--plan]\n",
                 argv[0]);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string why_no_mounts;
  const bool mounts = EnterPrivateMountNamespace(why_no_mounts);
  quillmend::testing::UseProjectOdbc();

  SuiteSettings settings;
  settings.agent_path = QM_AGENT_PATH;
  settings.server_script = QM_FAULT_SERVER_SCRIPT;
  settings.plan.long_mode = args.long_mode;
  settings.plan.disk_faults = mounts;
  settings.plan.big_file = args.big;
  settings.keep_failed = args.keep;
  settings.verbose = args.verbose;
  settings.plan.seam = AgentHasFaultSeam(settings.agent_path);
  const char* share_first = std::getenv("QUILLMEND_CONVERGENCE_SHARE_FIRST");
  settings.share_first = share_first != nullptr && std::string(share_first) == "1";
  const bool own_work = args.work.empty();
  settings.work_folder = own_work ? "/tmp/quillmend-convergence." + std::to_string(getpid())
                                  : fs::absolute(args.work).string();
  fs::create_directories(settings.work_folder);
  const std::string self = fs::absolute(argv[0]).string();

  std::printf("convergence: %llu seeds from %llu (%s mode), work folder %s\n",
              static_cast<unsigned long long>(args.seeds),
              static_cast<unsigned long long>(args.first), args.long_mode ? "long" : "short",
              settings.work_folder.c_str());
  if (!mounts) std::printf("  no disk-full or read-only faults: %s\n", why_no_mounts.c_str());
  if (!settings.plan.seam) std::printf("  the agent reads no QUILLMEND_FAULTS: no seam faults\n");

  int status = 0;
  try {
    const ReleaseSet releases(settings.work_folder + "/release", settings.work_folder + "/ftp");
    std::map<FaultKind, int> injected;
    std::map<std::string, std::vector<std::pair<std::uint64_t, SeedViolation>>> by_kind;
    std::vector<std::pair<std::uint64_t, std::string>> strays;
    int converged = 0;
    int most_passes = 0;
    std::uint64_t most_passes_seed = 0;
    if (args.plan_only) {
      for (std::uint64_t seed = args.first; seed < args.first + args.seeds; ++seed) {
        const PlanOptions options = PlanFor(seed, settings.plan);
        const SeedPlan plan = PlanSeed(seed, releases.Releases(options.big_file), options);
        std::printf("seed %llu:\n", static_cast<unsigned long long>(seed));
        for (const Step& step : plan.steps) {
          std::printf("  %c, %zu published%s:", step.station, step.publish,
                      options.big_file ? "" : ", no big file");
          for (const Fault& f : step.faults) std::printf(" [%s]", DescribeFault(f).c_str());
          std::printf("\n");
        }
      }
      std::error_code ec;
      if (own_work) fs::remove_all(settings.work_folder, ec);
      return 0;
    }
    for (std::uint64_t seed = args.first; seed < args.first + args.seeds; ++seed) {
      const SeedResult r = RunSeed(seed, settings, releases);
      int faults = 0;
      for (const auto& [kind, count] : r.injected) {
        injected[kind] += count;
        faults += count;
      }
      converged += r.converged;
      if (r.clean_passes > most_passes) {
        most_passes = r.clean_passes;
        most_passes_seed = seed;
      }
      std::printf("seed %llu: %d faults, %d runs, %s after %d clean passes, %zu violations, "
                  "%.1f s\n",
                  static_cast<unsigned long long>(seed), faults, r.runs,
                  r.converged ? "converged" : "NOT converged", r.clean_passes,
                  r.violations.size(), r.seconds);
      for (const std::string& note : r.notes) {
        std::printf("    note: stray file %s\n", note.c_str());
        strays.push_back({seed, note});
      }
      std::set<std::string> shown;
      for (const SeedViolation& v : r.violations) {
        by_kind[v.kind].push_back({seed, v});
        if (shown.insert(v.kind + v.detail).second) {
          std::printf("    %s: %s [%s]\n", v.kind.c_str(), v.detail.c_str(), v.when.c_str());
        }
      }
    }

    std::printf("\n==== figures\n");
    std::printf("seeds: %llu (%s mode)\n", static_cast<unsigned long long>(args.seeds),
                args.long_mode ? "long" : "short");
    std::printf("faults injected by kind:\n");
    int total = 0;
    for (FaultKind kind : AllKinds()) {
      total += injected[kind];
      std::printf("  %-55s %d\n", KindName(kind).c_str(), injected[kind]);
    }
    std::printf("  %-55s %d\n", "all", total);
    std::printf("  \"종료\" confirmed during a pass: not injected (the headless agent takes no "
                "command from outside while it runs)\n");
    std::printf("seeds converged: %d of %llu\n", converged,
                static_cast<unsigned long long>(args.seeds));
    std::printf("most clean passes needed: %d (seed %llu)\n", most_passes,
                static_cast<unsigned long long>(most_passes_seed));
    std::printf("violations found: %zu kinds\n", by_kind.size());
    for (const auto& [kind, found] : by_kind) {
      std::set<std::uint64_t> seeds;
      for (const auto& [seed, v] : found) seeds.insert(seed);
      std::printf("  %s: %zu times in %zu seeds (", kind.c_str(), found.size(), seeds.size());
      size_t n = 0;
      for (std::uint64_t s : seeds) std::printf("%s%llu", n++ ? " " : "", static_cast<unsigned long long>(s));
      std::printf(")\n    e.g. seed %llu, %s: %s\n    rerun: %s\n",
                  static_cast<unsigned long long>(found.front().first),
                  found.front().second.when.c_str(), found.front().second.detail.c_str(),
                  RerunCommand(self, args, found.front().first).c_str());
    }
    std::printf("notes (no rule broken): %zu stray files left in program or system folders\n",
                strays.size());
    for (size_t i = 0; i < strays.size() && i < 5; ++i) {
      std::printf("  seed %llu: %s\n", static_cast<unsigned long long>(strays[i].first),
                  strays[i].second.c_str());
    }
    if (!by_kind.empty() || converged != static_cast<int>(args.seeds)) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "convergence: %s\n", e.what());
    status = 1;
  }
  if (own_work && !args.keep) {
    std::error_code ec;
    fs::remove_all(settings.work_folder, ec);
  }
  return status;
}

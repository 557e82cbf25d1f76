// One seed of the convergence suite: a clinic of two workstations, its faulty runs, then clean
// passes until nothing changes, checked after every run and at the end.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "clinic_state.h"
#include "fault_schedule.h"
#include "release_set.h"

namespace quillmend::convergence {

struct SuiteSettings {
  std::string agent_path;
  std::string server_script;
  std::string work_folder;  // each seed gets a folder below it
  PlanOptions plan;
  int run_limit_seconds = 120;  // an agent run that takes longer is a violation
  bool keep_failed = false;     // copy a failing seed's folder to <work>/kept-<seed>
  bool verbose = false;
  // A runs with [Distribution] ShareFirst=1 and its own download folder as [SERVER] PATH: it
  // looks at the share before each download and leaves each version whole there.
  bool share_first = false;
};

struct SeedViolation {
  std::string kind;
  std::string detail;
  std::string when;  // which run found it
};

struct SeedResult {
  std::uint64_t seed = 0;
  bool converged = false;
  int clean_passes = 0;  // clean rounds (A, then B) that still changed something
  std::map<FaultKind, int> injected;
  std::vector<SeedViolation> violations;
  // Left-overs that break no rule: files of no version in a program or system folder.
  std::vector<std::string> notes;
  double seconds = 0;
  int runs = 0;
};

// The schedule's options for a seed (which seeds carry the big file).
PlanOptions PlanFor(std::uint64_t seed, PlanOptions options);

// Runs the seed; failures of the suite itself (a server that does not start) are violations
// of kind "suite could not run the seed".
SeedResult RunSeed(std::uint64_t seed, const SuiteSettings& settings, const ReleaseSet& releases);

}  // namespace quillmend::convergence

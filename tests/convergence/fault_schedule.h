// The random schedule of one seed: when each version is published, and for every faulty agent
// run which workstation runs and which faults it meets. The same seed always gives the same
// schedule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "release_set.h"

namespace quillmend::convergence {

enum class FaultKind {
  kKillDownload,
  kKillExpansion,
  kKillPlacement,
  kKillDatabase,
  kKillPending,
  kKillRandom,
  kServerStopped,
  kServerStoppedMidPass,
  kServerStall,
  kServerSilent,
  kTransferCut,
  kFileTruncated,
  kFileAltered,
  kArchiveDamaged,
  kDiskFull,
  kDiskFullMidPass,
  kReadOnlyTarget,
  kSeam,
};

// The figure's name of a kind.
std::string KindName(FaultKind kind);
std::vector<FaultKind> AllKinds();

struct Fault {
  FaultKind kind;
  // Moments: the line pattern's occurrence and the delay after it (kills, mid-pass faults).
  int occurrence = 1;
  int delay_ms = 0;
  // Server faults: the served name and a byte count (cut, truncated).
  std::string file;
  std::uint64_t bytes = 0;
  // Disk full: the bytes left free. Read-only: "system", "reports" or "program".
  std::uint64_t leave_bytes = 0;
  std::string target;
  // Seam: the QUILLMEND_FAULTS text.
  std::string rules;
  // How many runs the fault stays (1: this run only).
  int runs = 1;
};

struct Step {
  char station = 'A';
  size_t publish = 0;  // versions published before this run (cumulative count)
  std::vector<Fault> faults;
};

struct SeedPlan {
  bool with_big = true;
  std::vector<Step> steps;
  size_t published_at_end = 3;
};

struct PlanOptions {
  bool long_mode = false;
  bool disk_faults = true;  // mounts are possible
  bool seam = false;        // the agent reads QUILLMEND_FAULTS
  bool big_file = true;
};

SeedPlan PlanSeed(std::uint64_t seed, const std::vector<Release>& releases,
                  const PlanOptions& options);

// One line per step, for the log and the report.
std::string DescribeFault(const Fault& fault);

}  // namespace quillmend::convergence

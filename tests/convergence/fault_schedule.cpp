#include "fault_schedule.h"

#include <random>

namespace quillmend::convergence {
namespace {

class Dice {
 public:
  explicit Dice(std::uint64_t seed) : engine_(seed * 0x9E3779B97F4A7C15ull + 17) {}
  // A whole number in [low, high].
  std::uint64_t Between(std::uint64_t low, std::uint64_t high) {
    return low + engine_() % (high - low + 1);
  }
  bool Chance(int percent) { return static_cast<int>(engine_() % 100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[engine_() % items.size()];
  }

 private:
  std::mt19937_64 engine_;
};

struct Weighted {
  FaultKind kind;
  int weight;
};

FaultKind Draw(Dice& dice, const std::vector<Weighted>& table) {
  int total = 0;
  for (const Weighted& w : table) total += w.weight;
  int roll = static_cast<int>(dice.Between(0, static_cast<std::uint64_t>(total - 1)));
  for (const Weighted& w : table) {
    if (roll < w.weight) return w.kind;
    roll -= w.weight;
  }
  return table.back().kind;
}

// The seam's rules for a fault on a workstation's files or sockets.
std::string SeamRules(Dice& dice) {
  static const std::vector<std::string> rules = {
      "write:*download*:enospc:", "rename:*Velmont.exe*:eacces:", "open:*orvelgrid.ocx*:eacces:",
      "write:*OrvelData.dat*:enospc:", "rename:*ORVEL_H.ini*:eio:", "recv:*:econnreset:",
      "flush:*system*:eio:", "settime:*:eio:", "open:*newupdate*:eacces:",
      "remove:*:eacces:", "connect:*:etimedout:"};
  std::string rule = dice.Pick(rules);
  rule += std::to_string(dice.Between(1, 4)) + ":" + std::to_string(dice.Between(0, 2));
  return rule;
}

}  // namespace

std::string KindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kKillDownload: return "agent killed during download";
    case FaultKind::kKillExpansion: return "agent killed during expansion";
    case FaultKind::kKillPlacement: return "agent killed during placement";
    case FaultKind::kKillDatabase: return "agent killed during the database writes";
    case FaultKind::kKillPending: return "agent killed during the pending apply";
    case FaultKind::kKillRandom: return "agent killed at a random moment";
    case FaultKind::kServerStopped: return "FTP server stopped";
    case FaultKind::kServerStoppedMidPass: return "FTP server stopped during a pass";
    case FaultKind::kServerStall: return "FTP server silent for seconds mid-file";
    case FaultKind::kServerSilent: return "FTP server silent past the time limits";
    case FaultKind::kTransferCut: return "FTP transfer cut";
    case FaultKind::kFileTruncated: return "FTP file served truncated";
    case FaultKind::kFileAltered: return "FTP file served altered (one transfer)";
    case FaultKind::kArchiveDamaged: return "damaged archive, replaced later";
    case FaultKind::kDiskFull: return "disk full";
    case FaultKind::kDiskFullMidPass: return "disk full during a pass";
    case FaultKind::kReadOnlyTarget: return "target read-only";
    case FaultKind::kSeam: return "file or socket call failing (QUILLMEND_FAULTS)";
  }
  return "?";
}

std::vector<FaultKind> AllKinds() {
  std::vector<FaultKind> kinds;
  for (int k = 0; k <= static_cast<int>(FaultKind::kSeam); ++k) {
    kinds.push_back(static_cast<FaultKind>(k));
  }
  return kinds;
}

std::string DescribeFault(const Fault& f) {
  std::string text = KindName(f.kind);
  switch (f.kind) {
    case FaultKind::kKillDownload:
    case FaultKind::kKillExpansion:
    case FaultKind::kKillPlacement:
    case FaultKind::kKillDatabase:
    case FaultKind::kServerStoppedMidPass:
    case FaultKind::kDiskFullMidPass:
      text += " (moment " + std::to_string(f.occurrence) + ", +" + std::to_string(f.delay_ms) +
              " ms)";
      break;
    case FaultKind::kKillPending:
    case FaultKind::kKillRandom:
      text += " (+" + std::to_string(f.delay_ms) + " ms)";
      break;
    case FaultKind::kServerStall:
      text += " (" + f.file + ", " + std::to_string(f.bytes) + " ms)";
      break;
    case FaultKind::kTransferCut:
    case FaultKind::kFileTruncated:
      text += " (" + f.file + " after " + std::to_string(f.bytes) + " bytes)";
      break;
    case FaultKind::kFileAltered:
    case FaultKind::kArchiveDamaged:
      text += " (" + f.file + ")";
      break;
    case FaultKind::kSeam:
      text += " (" + f.rules + ")";
      break;
    default:
      break;
  }
  if (f.kind == FaultKind::kDiskFull || f.kind == FaultKind::kDiskFullMidPass) {
    text += " (" + std::to_string(f.leave_bytes) + " bytes left)";
  }
  if (f.kind == FaultKind::kReadOnlyTarget) text += " (" + f.target + " folder)";
  if (f.runs > 1) text += " for " + std::to_string(f.runs) + " runs";
  return text;
}

SeedPlan PlanSeed(std::uint64_t seed, const std::vector<Release>& releases,
                  const PlanOptions& options) {
  Dice dice(seed);
  SeedPlan plan;
  plan.with_big = options.big_file;
  plan.published_at_end = releases.size();
  const size_t steps = dice.Between(options.long_mode ? 4 : 3, options.long_mode ? 8 : 5);
  // The second and third versions are published while the faults go on.
  const size_t second = dice.Between(0, steps / 2);
  const size_t third = dice.Between(second, steps);

  std::vector<std::string> served;  // every name, and the archives alone
  std::vector<std::string> archives;
  std::vector<std::uint64_t> sizes;
  for (const Release& r : releases) {
    for (const ReleaseFile& f : r.files) {
      if (f.big && !options.big_file) continue;
      served.push_back(r.version + "/" + f.subfolder + "/" + f.ServedName());
      sizes.push_back(f.size);
      if (f.cab) archives.push_back(r.version + "/" + f.subfolder + "/" + f.ServedName());
    }
  }

  std::vector<Weighted> a_table = {
      {FaultKind::kKillDownload, 10},   {FaultKind::kKillExpansion, 8},
      {FaultKind::kKillPlacement, 8},   {FaultKind::kKillDatabase, 8},
      {FaultKind::kKillPending, 5},     {FaultKind::kKillRandom, 8},
      {FaultKind::kServerStopped, 5},   {FaultKind::kServerStoppedMidPass, 6},
      {FaultKind::kServerStall, 4},     {FaultKind::kTransferCut, 6},
      {FaultKind::kFileTruncated, 5},   {FaultKind::kFileAltered, 4},
      {FaultKind::kArchiveDamaged, 6},
  };
  std::vector<Weighted> b_table = {{FaultKind::kKillRandom, 8},
                                   {FaultKind::kKillPlacement, 6},
                                   {FaultKind::kKillDatabase, 4},
                                   {FaultKind::kKillPending, 5}};
  if (options.long_mode) a_table.push_back({FaultKind::kServerSilent, 2});
  if (options.disk_faults) {
    for (auto* table : {&a_table, &b_table}) {
      table->push_back({FaultKind::kDiskFull, 6});
      table->push_back({FaultKind::kDiskFullMidPass, 4});
      table->push_back({FaultKind::kReadOnlyTarget, 7});
    }
  }
  if (options.seam) {
    a_table.push_back({FaultKind::kSeam, 8});
    b_table.push_back({FaultKind::kSeam, 5});
  }

  for (size_t i = 0; i < steps; ++i) {
    Step step;
    step.station = dice.Chance(68) ? 'A' : 'B';
    step.publish = 1 + (i >= second ? 1 : 0) + (i >= third ? 1 : 0);
    const int count = dice.Chance(25) ? 2 : (dice.Chance(10) ? 0 : 1);
    for (int n = 0; n < count; ++n) {
      Fault f{Draw(dice, step.station == 'A' ? a_table : b_table)};
      const size_t which = dice.Between(0, served.size() - 1);
      switch (f.kind) {
        case FaultKind::kKillDownload:
          f.occurrence = static_cast<int>(dice.Between(1, 4));
          f.delay_ms = static_cast<int>(dice.Between(0, 40));
          break;
        case FaultKind::kKillExpansion:
          f.occurrence = static_cast<int>(dice.Between(1, 4));
          break;
        case FaultKind::kKillPlacement:
          f.occurrence = static_cast<int>(dice.Between(1, 4));
          f.delay_ms = static_cast<int>(dice.Between(2, 30));
          break;
        case FaultKind::kKillDatabase:
          f.occurrence = static_cast<int>(dice.Between(1, 2));
          f.delay_ms = static_cast<int>(dice.Between(0, 4));
          break;
        case FaultKind::kKillPending:
          f.delay_ms = static_cast<int>(dice.Between(0, 3));
          break;
        case FaultKind::kKillRandom:
          f.delay_ms = static_cast<int>(dice.Between(0, step.station == 'A' ? 2500 : 700));
          break;
        case FaultKind::kServerStoppedMidPass:
        case FaultKind::kDiskFullMidPass:
          f.occurrence = static_cast<int>(dice.Between(1, 4));
          break;
        case FaultKind::kServerStall:
          f.file = served[which];
          f.bytes = dice.Between(1200, 3000);  // milliseconds, below every time limit
          break;
        case FaultKind::kTransferCut:
          f.file = served[which];
          f.bytes = dice.Between(0, sizes[which] - 1);
          break;
        case FaultKind::kFileTruncated:
          f.file = served[which];
          f.bytes = dice.Between(0, sizes[which] / 2);
          f.runs = static_cast<int>(dice.Between(1, 2));
          break;
        case FaultKind::kFileAltered:
          f.file = dice.Pick(archives);
          break;
        case FaultKind::kArchiveDamaged:
          f.file = dice.Pick(archives);
          f.runs = static_cast<int>(dice.Between(2, 3));
          break;
        case FaultKind::kDiskFull:
          f.leave_bytes = dice.Pick(std::vector<std::uint64_t>{0, 32 << 10, 1 << 20, 8 << 20, 30 << 20});
          f.runs = static_cast<int>(dice.Between(1, 2));
          break;
        case FaultKind::kReadOnlyTarget:
          f.target = dice.Chance(12) ? "program" : (dice.Chance(40) ? "reports" : "system");
          f.runs = static_cast<int>(dice.Between(1, 2));
          break;
        case FaultKind::kSeam:
          f.rules = SeamRules(dice);
          break;
        default:
          break;
      }
      // A pending apply needs files that waited: a read-only target first.
      if (f.kind == FaultKind::kKillPending && options.disk_faults) {
        Step before = step;
        before.faults = {Fault{FaultKind::kReadOnlyTarget}};
        before.faults.back().target = "system";
        plan.steps.push_back(before);
      }
      step.faults.push_back(f);
    }
    plan.steps.push_back(step);
  }
  for (Step& s : plan.steps) s.publish = std::min(s.publish, releases.size());
  return plan;
}

}  // namespace quillmend::convergence

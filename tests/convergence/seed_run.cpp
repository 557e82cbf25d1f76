#include "seed_run.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>

#include "agent_run.h"
#include "agent_watch.h"
#include "child_process.h"
#include "clinic_sandbox.h"
#include "disk_faults.h"
#include "fault_server.h"
#include "offline_workstation.h"
#include "platform/file_names.h"
#include "base/text.h"
#include "startup/settings.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"

namespace quillmend::convergence {
namespace {

namespace fs = std::filesystem;
using testing::JoinedPath;

constexpr std::uint64_t kDiskA = 200ull << 20;
constexpr std::uint64_t kDiskB = 160ull << 20;
constexpr int kCleanRoundsAtMost = 5;
constexpr int kCleanPassesAllowed = 3;

// The moments of the passes, as the headless window prints them.
constexpr const char* kFileLine = "[window] lblFile: ";
constexpr const char* kApplying = " 적용중";
constexpr const char* kVersionDone = "[window] lbl고객: ";
constexpr const char* kPendingQuestion = "업데이트를 적용하지 못한";
constexpr const char* kServerPassStart = "[window] Label6: 서버(";

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

class SeedRunner {
 public:
  SeedRunner(std::uint64_t seed, const SuiteSettings& settings, const ReleaseSet& releases)
      : settings_(settings),
        options_(PlanFor(seed, settings.plan)),
        releases_(releases.Releases(options_.big_file)) {
    result_.seed = seed;
    folder_ = JoinedPath(settings.work_folder, "seed-" + std::to_string(seed));
    plan_ = PlanSeed(seed, releases_, options_);
    ftp_root_ = releases.ftp_root();
  }

  SeedResult Run() {
    const auto start = std::chrono::steady_clock::now();
    try {
      Build();
      for (size_t i = 0; i < plan_.steps.size(); ++i) RunStep(i);
      Heal();
      Publish(plan_.published_at_end);
      CleanPasses();
    } catch (const std::exception& e) {
      Add("suite could not run the seed", e.what(), "setting up or running the seed");
    }
    TearDown();
    result_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return std::move(result_);
  }

 private:
  struct Active {
    Fault fault;
    Workstation* station;
    int runs_left;
    std::unique_ptr<ReadOnlyFolder> read_only;
  };

  // A violation is counted once per seed, at the run that first showed it.
  void Add(const std::string& kind, const std::string& detail, const std::string& when) {
    if (!reported_.insert(kind + "\n" + detail).second) return;
    result_.violations.push_back({kind, detail, when});
  }

  void Build() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    fs::create_directories(folder_);
    a_.label = "A";
    b_.label = "B";
    if (options_.disk_faults) {
      disk_a_ = std::make_unique<SmallDisk>(JoinedPath(folder_, "A"), kDiskA);
      disk_b_ = std::make_unique<SmallDisk>(JoinedPath(folder_, "B"), kDiskB);
    }
    a_.layout = sandbox::SandboxLayout(JoinedPath(folder_, "A"));
    // The clinic database lies on the clinic's server, apart from both workstations' disks.
    a_.layout.clinic_db = JoinedPath(folder_, "clinic.db");
    a_.layout.ftp_root = ftp_root_;
    a_.host = HostName();
    a_.online = true;
    sandbox::ClinicOptions options;
    options.installed_version = kBaseVersion;
    sandbox::CreateClinic(a_.layout, options);
    // The vendor's CRM is far away, not on A's disk: the agent opens it through a link.
    const std::string crm = JoinedPath(folder_, "crm.db");
    fs::copy_file(a_.layout.crm_db, crm);
    fs::remove(a_.layout.crm_db);
    fs::create_symlink(crm, a_.layout.crm_db);
    a_.layout.crm_db = crm;
    if (settings_.share_first) {
      WriteIniValue(a_.layout.agent_settings, "Distribution", "ShareFirst", "1");
      WriteIniValue(a_.layout.settings_file, "SERVER", "PATH",
                    JoinedPath(a_.layout.program_folder, "download"));
    }
    b_.layout = sandbox::SandboxLayout(JoinedPath(folder_, "B"));
    b_.layout.clinic_db = a_.layout.clinic_db;
    // Its own host name where the suite may give it one (root); else it shares A's.
    b_.host = geteuid() == 0 && a_.host != "localhost" ? "localhost" : a_.host;
    b_.online = false;
    sandbox::AddOfflineWorkstation(a_.layout, b_.layout, kBaseVersion, "");
    server_ = std::make_unique<FaultServer>(settings_.server_script, ftp_root_,
                                            sandbox::kFtpUser, sandbox::kFtpPassword);
    sandbox::PointAtFtpServer(a_.layout, server_->port());
    checker_ = std::make_unique<ClinicChecker>(releases_, a_, b_, folder_, a_.layout.clinic_db);
    checker_->SetPublished(0);
    log_.open(LogPath());
  }

  // The agents' output, beside the seed's folder (whose changes are checked).
  std::string LogPath() const { return folder_ + ".runs.log"; }

  void Publish(size_t count) {
    for (; published_ < count; ++published_) {
      const Release& r = releases_[published_];
      std::vector<std::string> names;
      for (const ReleaseFile& f : r.files) names.push_back(f.ServedName());
      testing::PublishVersion(a_.layout.crm_db, sandbox::kCustomer, r.version, names);
    }
    checker_->SetPublished(published_);
  }

  // Whether path lies in the workstation's staging folder (the share, for A).
  static bool InDownload(const Workstation& w, const std::string& path) {
    const std::string below = path.substr(0, w.layout.program_folder.size() + 10);
    return ToUpperAscii(below) == ToUpperAscii(w.layout.program_folder + "/download/");
  }
  // A name that holds the name of a file expanded from an archive, and is no archive: the
  // expanded file or its temporary file.
  bool NamesExpandedFile(const std::string& name) const {
    const std::string upper = ToUpperAscii(name);
    if (upper.find(".CAB") != std::string::npos) return false;
    for (const Release& r : releases_) {
      for (const ReleaseFile& f : r.files) {
        if (f.cab && upper.find(ToUpperAscii(f.name)) != std::string::npos) return true;
      }
    }
    return false;
  }
  // A name that holds a release file's name: the file itself or a temporary copy of it.
  bool NamesReleaseFile(const std::string& name) const {
    for (const Release& r : releases_) {
      for (const ReleaseFile& f : r.files) {
        if (ToUpperAscii(name).find(ToUpperAscii(f.name)) != std::string::npos) return true;
      }
    }
    return false;
  }

  SmallDisk* DiskOf(const Workstation* w) { return w == &a_ ? disk_a_.get() : disk_b_.get(); }

  std::string ReadOnlyTarget(const Workstation& w, const std::string& target) {
    if (target == "program") return w.layout.program_folder;
    if (target == "reports") {
      const std::string reports = ResolveExistingPath(JoinedPath(w.layout.program_folder, "Reports"));
      std::error_code ec;
      if (fs::is_directory(reports, ec)) return reports;
    }
    return w.layout.system_folder;
  }

  // The server's commands for the server faults still active.
  void ReissueServerFaults() {
    server_->Command("clear");
    server_->Command("start");
    for (const Active& a : active_) {
      const Fault& f = a.fault;
      switch (f.kind) {
        case FaultKind::kFileTruncated:
          server_->Command("short " + f.file + " " + std::to_string(f.bytes));
          break;
        case FaultKind::kArchiveDamaged:
        case FaultKind::kFileAltered:
          server_->Command("damage " + f.file);
          break;
        default:
          break;
      }
    }
  }

  void Count(FaultKind kind) { result_.injected[kind]++; }

  void RunStep(size_t index) {
    const Step& step = plan_.steps[index];
    Publish(step.publish);
    Workstation* w = step.station == 'A' ? &a_ : &b_;
    std::vector<Moment> moments;
    std::vector<std::string> extra_env;
    bool killed = false;
    std::string described;
    for (const Fault& f : step.faults) {
      described += (described.empty() ? "" : "; ") + DescribeFault(f);
      Moment m;
      m.occurrence = f.occurrence;
      m.delay_ms = f.delay_ms;
      const FaultKind kind = f.kind;
      auto kill_it = [this, kind, &killed](int pid) {
        if (kill(pid, SIGKILL) == 0) {
          killed = true;
          Count(kind);
        }
      };
      switch (f.kind) {
        case FaultKind::kKillDownload:
          m.pattern = kFileLine;
          m.unless = kApplying;
          m.run = kill_it;
          moments.push_back(m);
          break;
        case FaultKind::kKillExpansion:
          m.file_test = [this, w](const std::string& path) {
            return InDownload(*w, path) && NamesExpandedFile(BaseName(path));
          };
          m.run = kill_it;
          moments.push_back(m);
          break;
        case FaultKind::kKillPlacement:
          m.file_test = [this, w](const std::string& path) {
            return !InDownload(*w, path) && NamesReleaseFile(BaseName(path));
          };
          m.run = kill_it;
          moments.push_back(m);
          break;
        case FaultKind::kKillDatabase:
          m.file_test = [](const std::string& path) {
            const std::string name = BaseName(path);
            return name.size() > 8 && (name.ends_with("-journal") || name.ends_with("-wal"));
          };
          m.run = kill_it;
          moments.push_back(m);
          break;
        case FaultKind::kKillPending:
          m.pattern = kPendingQuestion;
          m.occurrence = 1;
          m.run = kill_it;
          moments.push_back(m);
          break;
        case FaultKind::kKillRandom:
          m.pattern = "";
          m.run = kill_it;
          moments.push_back(m);
          break;
        case FaultKind::kServerStopped:
        case FaultKind::kServerStall:
        case FaultKind::kServerSilent:
        case FaultKind::kTransferCut:
          Count(kind);  // set on the server below, once the faults of earlier runs are set
          break;
        case FaultKind::kServerStoppedMidPass:
          m.pattern = kFileLine;
          m.run = [this, kind](int) {
            server_->Command("stop");
            Count(kind);
          };
          moments.push_back(m);
          break;

        case FaultKind::kFileTruncated:
        case FaultKind::kFileAltered:
        case FaultKind::kArchiveDamaged:
          active_.push_back({f, w, f.runs, nullptr});
          Count(kind);
          break;
        case FaultKind::kDiskFull:
          if (SmallDisk* disk = DiskOf(w)) {
            disk->Fill(f.leave_bytes);
            active_.push_back({f, w, f.runs, nullptr});
            Count(kind);
          }
          break;
        case FaultKind::kDiskFullMidPass:
          if (SmallDisk* disk = DiskOf(w)) {
            m.pattern = w->online ? kFileLine : kServerPassStart;
            const std::uint64_t leave = f.leave_bytes;
            m.run = [this, disk, leave, kind](int) {
              disk->Fill(leave);
              Count(kind);
            };
            moments.push_back(m);
            active_.push_back({f, w, 1, nullptr});
          }
          break;
        case FaultKind::kReadOnlyTarget: {
          Fault kept = f;
          if (kept.target == "program") kept.runs = 1;  // the suite itself writes there between runs
          auto cover = std::make_unique<ReadOnlyFolder>(ReadOnlyTarget(*w, kept.target));
          active_.push_back({kept, w, kept.runs, std::move(cover)});
          Count(kind);
          break;
        }
        case FaultKind::kSeam:
          extra_env.push_back("QUILLMEND_FAULTS=" + f.rules);
          Count(kind);
          break;
      }
    }
    ReissueServerFaults();
    // The server faults of this run alone.
    for (const Fault& f : step.faults) {
      if (f.kind == FaultKind::kServerStopped) server_->Command("stop");
      if (f.kind == FaultKind::kServerStall) {
        server_->Command("stall " + f.file + " " + std::to_string(f.bytes / 1000.0));
      }
      if (f.kind == FaultKind::kServerSilent) server_->Command("silent on");
      if (f.kind == FaultKind::kTransferCut) {
        server_->Command("cut " + f.file + " " + std::to_string(f.bytes));
      }
    }
    const std::string when = "faulty run " + std::to_string(index + 1) + " on " + w->label +
                             (described.empty() ? " (no fault)" : " (" + described + ")");
    RunAgent(*w, moments, extra_env, killed, when);
    EndOfRun();
  }

  // Faults whose time is up are lifted; the rest stay for the next run.
  void EndOfRun() {
    for (Active& a : active_) {
      if (--a.runs_left > 0) continue;
      if (a.read_only) a.read_only->Lift();
      if (a.fault.kind == FaultKind::kDiskFull || a.fault.kind == FaultKind::kDiskFullMidPass) {
        if (SmallDisk* disk = DiskOf(a.station)) disk->Empty();
      }
    }
    std::erase_if(active_, [](const Active& a) { return a.runs_left <= 0; });
    ReissueServerFaults();
  }

  void Heal() {
    for (Active& a : active_) {
      if (a.read_only) a.read_only->Lift();
    }
    active_.clear();
    if (disk_a_) disk_a_->Empty();
    if (disk_b_) disk_b_->Empty();
    server_->Heal();
  }

  void RunAgent(Workstation& w, std::vector<Moment>& moments,
                const std::vector<std::string>& extra_env, const bool& killed,
                const std::string& when) {
    std::vector<std::string> env = w.online ? sandbox::AgentEnvironment(w.layout, true)
                                            : sandbox::OfflineAgentEnvironment(w.layout, true);
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    const FolderSnapshot before = checker_->Snapshot(w);
    const std::string own_name = &w == &b_ && b_.host != a_.host ? b_.host : "";
    const WatchedRun run =
        RunWatched(settings_.agent_path, env, own_name, moments,
                   {w.layout.program_folder, w.layout.system_folder, folder_},
                   settings_.run_limit_seconds);
    ++result_.runs;
    log_ << "==== " << when << ": status " << run.status << ", " << run.seconds << " s\n"
         << run.output << "\n";
    log_.flush();
    if (settings_.verbose) std::printf("  %s: status %d, %.2f s\n", when.c_str(), run.status, run.seconds);
    if (run.timed_out) {
      Add("an agent run exceeded its time limit",
          "stopped after " + std::to_string(settings_.run_limit_seconds) + " s", when);
    } else if (run.status != 0 && !killed) {
      Add("an agent run ended abnormally", "exit status " + std::to_string(run.status), when);
    }
    for (const Violation& v : checker_->AfterRun(w, before)) Add(v.kind, v.detail, when);
  }

  void CleanPasses() {
    std::string before = checker_->Fingerprint();
    int changing = 0;
    bool settled = false;
    for (int round = 1; round <= kCleanRoundsAtMost && !settled; ++round) {
      for (Workstation* w : {&a_, &b_}) {
        std::vector<Moment> none;
        const bool killed = false;
        RunAgent(*w, none, {}, killed,
                 "clean pass " + std::to_string(round) + " on " + w->label);
      }
      const std::string now = checker_->Fingerprint();
      if (now == before) {
        settled = true;
      } else {
        changing = round;
        before = now;
      }
    }
    result_.clean_passes = changing;
    const std::string when = "after the clean passes";
    if (!settled) {
      Add("never settled", std::to_string(kCleanRoundsAtMost) + " clean rounds all changed something",
          when);
    } else if (changing > kCleanPassesAllowed) {
      Add("needed more than 3 clean passes", std::to_string(changing) + " passes", when);
    }
    const std::vector<Violation> final_state = checker_->AtConvergence();
    for (const Violation& v : final_state) Add(v.kind, v.detail, when);
    for (const std::string& stray : checker_->StrayFiles()) result_.notes.push_back(stray);
    result_.converged = settled && changing <= kCleanPassesAllowed && final_state.empty();
  }

  void TearDown() {
    log_.close();
    active_.clear();
    server_.reset();
    sandbox::StopProgramsRunningFrom(folder_);
    std::error_code ec;
    if (settings_.keep_failed && !result_.violations.empty()) {
      const std::string kept = JoinedPath(settings_.work_folder, "kept-" + std::to_string(result_.seed));
      fs::remove_all(kept, ec);
      fs::copy(folder_, kept, fs::copy_options::recursive, ec);
      fs::copy_file(LogPath(), kept + "/runs.log", ec);
    }
    fs::remove(LogPath(), ec);
    disk_a_.reset();
    disk_b_.reset();
    fs::remove_all(folder_, ec);
  }

  const SuiteSettings& settings_;
  PlanOptions options_;
  std::vector<Release> releases_;
  std::string folder_;
  std::string ftp_root_;
  SeedPlan plan_;
  SeedResult result_;
  std::unique_ptr<SmallDisk> disk_a_;
  std::unique_ptr<SmallDisk> disk_b_;
  Workstation a_;
  Workstation b_;
  std::unique_ptr<FaultServer> server_;
  std::unique_ptr<ClinicChecker> checker_;
  std::vector<Active> active_;
  std::set<std::string> reported_;
  size_t published_ = 0;
  std::ofstream log_;
};

}  // namespace

// The short mode carries the big file in every fourth seed (1, 5, 9, ...) to stay within its
// time; the long mode in every seed.
PlanOptions PlanFor(std::uint64_t seed, PlanOptions options) {
  options.big_file = options.big_file && (options.long_mode || seed % 4 == 1);
  return options;
}

SeedResult RunSeed(std::uint64_t seed, const SuiteSettings& settings, const ReleaseSet& releases) {
  SeedRunner runner(seed, settings, releases);
  return runner.Run();
}

}  // namespace quillmend::convergence

#include "startup/main_sequence.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "apply/pending_update.h"
#include "crm/crm_reporting.h"
#include "crm/host_identity.h"
#include "db/db_access.h"
#include "db/local_tables.h"
#include "db/version_bookkeeping.h"
#include "platform/file_names.h"
#include "platform/system_info.h"
#include "startup/agent_settings.h"
#include "startup/diagnostics.h"
#include "startup/in_house_components.h"
#include "startup/online_check.h"
#include "startup/program_paths.h"
#include "ui/adapter_factory.h"
#include "ui/frm_files.h"
#include "update/update_passes.h"

namespace quillmend {
namespace {

bool RunOnceRequested() {
  const char* run = std::getenv("QUILLMEND_RUN");
  return run != nullptr && std::string(run) == "once";
}

// A step that needs the clinic database: when the database could not be opened (or the step's
// statement fails) the agent says so and goes on without it.
template <typename Step>
void WithDatabase(const char* what, Step step) {
  try {
    step();
  } catch (const std::exception& e) {
    LogLine(std::string(what) + " failed: " + e.what());
  }
}

void FindHostIdentity(SharedState& state) {
  state.g_HostName = GetMyHostName(state);
  state.g_LocalIP = GetMyIPAddress(state);
}

void SecondInstance(SharedState& state) {
  CreateInHouseComponents(state);
  state.g_SystemFolder = ResolveSystemFolder(state);
  FindHostIdentity(state);
  state.g_Online = IsOnline();
  OpenLocalDatabase(state);
  WithDatabase("reading the customer code", [&] { GetCustomerCode(state); });
  if (state.g_Online) ConnectCrm(state);
  CheckPendingUpdate(state);
}

void FirstInstance(SharedState& state) {
  state.g_ContinueUpdate = false;
  state.g_SystemFolder = ResolveSystemFolder(state);
  FindHostIdentity(state);
  state.g_DownloadPath = InProgramFolder(state, "\\download\\");
  CreateInHouseComponents(state);
  state.g_Online = IsOnline();
  OpenLocalDatabase(state);
  WithDatabase("the database dialect probe", [&] { ProbeDatabaseDialect(state); });
  if (state.g_Online) ConnectCrm(state);
  WithDatabase("reading the customer code", [&] { GetCustomerCode(state); });
  WithDatabase("creating the version tables", [&] { CreateVersionTables(state); });
  FrmFiles& window = *state.frmFiles;
  window.Load();
  window.Show();
  state.ui_->DoEvents();
  CheckPendingUpdate(state);
  window.cmdAuto_Click();
}

}  // namespace

std::string DetermineProgramFolder() {
  if (const char* forced = std::getenv("QUILLMEND_PROGRAM_FOLDER"); forced && *forced) {
    std::string folder = forced;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
      folder.pop_back();
    }
    return folder;
  }
  return ExecutableFolder();
}

StartupOutcome Main(SharedState& state) {
  StartupOutcome outcome;
  outcome.lock = TryAcquireInstanceLock(state.program_folder_);
  outcome.first_instance = outcome.lock != nullptr;
  if (!outcome.first_instance) {
    LogLine("another instance is running in " + state.program_folder_);
    SecondInstance(state);
    return outcome;
  }
  FirstInstance(state);
  return outcome;
}

int RunAgent() {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  SharedState state;
  state.program_folder_ = DetermineProgramFolder();
  std::error_code ec;
  if (!std::filesystem::is_directory(FsPath(state.program_folder_), ec)) {
    LogLine("the program folder " + state.program_folder_ + " does not exist");
    return 2;
  }
  std::filesystem::current_path(FsPath(state.program_folder_), ec);
  if (ec) LogLine("cannot make " + state.program_folder_ + " the current folder: " + ec.message());

  std::unique_ptr<UiHost> host = CreateUiHost();
  state.ui_ = host.get();
  FrmFiles window(state, *host);
  state.frmFiles = &window;
  UpdatePassRunner passes(state, window);
  window.SetPasses(&passes);

  StartupOutcome outcome = Main(state);
  if (!outcome.first_instance) return 0;
  if (RunOnceRequested()) {
    host->DoEvents();  // the window shows (and a headless run prints) how the pass ended
    return 0;
  }
  return host->RunLoop();
}

}  // namespace quillmend

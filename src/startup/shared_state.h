// The process-wide shared state. One object per process (per test), created empty and filled by
// Main; nothing mutable lives in globals. Names of the system's shared values keep their g_ names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/components.h"

namespace quillmend {

class DbConnection;
class FrmFiles;
class UiHost;

struct SharedState {
  // Connections to the clinic database and the vendor CRM; replaced at the start of each pass.
  // nullptr means "unset": the database routines then use an unopened connection.
  std::shared_ptr<DbConnection> g_Connect;
  std::shared_ptr<DbConnection> g_Connect2;

  // The in-house components (registered or built-in stand-ins).
  std::unique_ptr<AutomationObject> g_Qdb;
  std::unique_ptr<AutomationObject> g_Kit;
  std::unique_ptr<AutomationObject> g_Env;

  bool g_Online = false;
  bool g_AutoIncDb = false;
  bool g_ContinueUpdate = false;
  std::string g_CustomerCode;
  std::string g_InstalledVersion;
  std::string g_HostName;
  std::string g_LocalIP;
  std::string g_SystemFolder;
  std::string g_DownloadPath;  // program folder + separator + "download" + separator

  // The state word of the CRM version row of a file placed online: "Internet" for files from
  // the vendor's server, "Internet_Share" while a version taken from the clinic share is applied.
  std::string online_record_state_ = "Internet";

  // Cleared when a staged file could not be placed nor deferred (placement).
  bool g_AllPlaced = true;
  // The pending-apply flag of the pending update at start-up.
  bool g_PendingApply = false;

  // Bytes received since the last speed tick (written by the FTP client, read by the speed timer).
  std::int32_t bytes_counter_ = 0;
  // Walk counters of the download pass, shared with the pending-update apply.
  std::int32_t entries_listed_ = 0;
  std::int32_t files_downloaded_ = 0;

  // The folder of the running executable (or QUILLMEND_PROGRAM_FOLDER), without a trailing
  // separator.
  std::string program_folder_;

  // The window toolkit's services (message boxes, busy pointer, event processing). Never null
  // once Main runs; tests give a scripted host.
  UiHost* ui_ = nullptr;
  // The main window, created on first use.
  FrmFiles* frmFiles = nullptr;

  // True while a pass (download, forced, server, pending) runs: a pass that arrives while
  // another one yields is refused, never nested.
  bool pass_running_ = false;

  // When set, every SQL text the database routines send (as built, before any dialect
  // translation) is appended here. Tests and diagnostics only.
  std::vector<std::string>* sql_trace_ = nullptr;
};

}  // namespace quillmend

// A workstation for the update-application tests: a program folder with its staging layout, a
// system folder of its own, the main window on a headless host, a SQLite clinic database with
// the local tables (and, online, a SQLite CRM) reached through ODBC, and a registration tool
// that records what it is asked to register.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/components.h"
#include "startup/shared_state.h"
#include "support/temp_folder.h"
#include "ui/frm_files.h"
#include "ui/headless/headless_host.h"

namespace quillmend::testing {

class Workstation {
 public:
  explicit Workstation(std::vector<bool> answers = {});
  ~Workstation();

  // program folder + relative ("\" or "/" separated).
  std::string Program(const std::string& relative) const;
  std::string System(const std::string& relative) const;
  // Writes a staged file program folder\download\<relative> and returns its path.
  std::string Stage(const std::string& relative, const std::string& bytes);
  // Writes a file (folders made as needed).
  static void Write(const std::string& path, const std::string& bytes);
  // Moves a file's modification time by the given offset from its current one.
  static void ShiftTime(const std::string& path, std::chrono::hours offset);

  // Switches to online recording: a SQLite CRM as g_Connect2 and g_Online set.
  void GoOnline();

  // Rows of 버전파일개별 as "버전|프로그램명|프로그램버전|상태", in insertion order.
  std::vector<std::string> OfflineRecords() const;
  // Rows of 오르벨거래처버전 as "버전|프로그램명|프로그램버전|상태".
  std::vector<std::string> OnlineRecords() const;
  // Rows of 버전파일 as "버전|파일".
  std::vector<std::string> VersionFileRows() const;
  // The failure log's text ("" when nothing was logged).
  std::string FailureLog() const;

  // Waits (up to a generous limit) until the registration tool has recorded `count` calls and
  // returns every recorded target path.
  std::vector<std::string> RegisteredTargets(size_t count) const;

  TempFolder folder;
  HeadlessHost host;
  SharedState state;
  FrmFiles window;
  std::string clinic_db;
  std::string crm_db;
  std::string register_log;
};

// Installs the registration recorder for the platform (POSIX: [Platform] RegisterCommand;
// Windows: regsvr32.exe in the workstation's system folder). Defined per platform.
void InstallRegistrationRecorder(Workstation& workstation);

}  // namespace quillmend::testing

// A clinic for the update-pass tests: a workstation's program and system folders, the main
// window on a headless host, a SQLite clinic database and a SQLite CRM reached through ODBC,
// and an FTP root with one folder per published version, served by a real local FTP server.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "startup/shared_state.h"
#include "support/ftp_servers.h"
#include "support/sqlite_fixtures.h"
#include "support/temp_folder.h"
#include "ui/frm_files.h"
#include "ui/headless/headless_host.h"
#include "update/update_passes.h"

namespace quillmend::testing {

inline constexpr const char* kCustomer = "C1001";

// One file of a published version: where it lies below the version folder ("program" or
// "system"), its name inside the archive, and its bytes. Served as <name>.cab.
struct PublishedFile {
  std::string subfolder;
  std::string name;
  std::string bytes;
};

class UpdateClinic {
 public:
  // answers: the Yes/No answers of the headless host, in order (then No).
  explicit UpdateClinic(std::vector<bool> answers = {}, const std::string& installed = "7.5.12");
  ~UpdateClinic();

  // Puts the version's archives into the FTP root and publishes the version in the CRM. The
  // file rows are list_names when given, else the archive names.
  void Publish(const std::string& version, const std::vector<PublishedFile>& files,
               const std::vector<std::string>& list_names = {});
  // Starts the FTP server over the FTP root and writes the customer's FTP row.
  void Serve(FtpServerKind kind = FtpServerKind::kPyftpdlib,
             const std::vector<std::string>& misbehave = {});
  void StopServer() { server_.reset(); }

  // The workstation's paths (relative parts "/" or "\" separated).
  std::string Program(const std::string& relative) const;
  std::string System(const std::string& relative) const;
  std::string FtpRoot() const { return folder.Sub("ftp"); }

  std::string LastVersion() const;
  std::vector<std::string> VersionFileRows() const;        // "버전|파일"
  std::vector<std::string> CustomerVersionRows() const;     // CRM "버전|프로그램명|상태"
  std::vector<std::string> SupportReceipts() const;         // CRM 접수번호, in order
  std::vector<std::string> SupportTexts() const;            // CRM 처리내용, in order
  std::vector<std::string> OfflineRows() const;             // "버전|프로그램명|상태|전송여부"
  std::string ProductVersion() const;                       // syssVersionno of the clinic
  std::string FailureLog() const;

  TempFolder folder;
  HeadlessHost host;
  SharedState state;
  FrmFiles window;
  std::unique_ptr<UpdatePassRunner> runner;
  std::string clinic_db;
  std::string crm_db;

 private:
  std::unique_ptr<CurrentFolder> current_;
  std::unique_ptr<FtpServer> server_;
  int published_ = 0;  // versions published so far
};

}  // namespace quillmend::testing

// A sandbox clinic on the embedded default: one workstation's program and system folders, the
// product's settings file and the agent's own settings, a SQLite clinic database with the
// product tables, a SQLite CRM with a customer, and an FTP root with one folder per published
// version (program and system subfolders of CAB archives made with gcab).
//
// Layout below the sandbox root:
//   Orvel/            program folder: ORVEL_H.ini, quillmend.ini, CRM, Velmont.exe
//   system/           the workstation's system folder ([Platform] SystemFolder)
//   clinic.db         the clinic database ([DB] SERVER=local, DBNAME=<file>)
//   ftp/orvel/<ver>/  the published versions, served over FTP as the customer's folder
//
// Every function throws std::runtime_error (or the database layer's error) with a clear text
// when a step fails; nothing is left half-written in an existing sandbox except by that step.
#pragma once

#include <string>
#include <vector>

#include "support/program_bytes.h"

namespace quillmend::sandbox {

inline constexpr const char* kCustomer = "C1001";
inline constexpr const char* kFtpUser = "orvel";
inline constexpr const char* kFtpPassword = "orvel-demo";
// The customer's folder on the FTP server: 경로 is host + "/" + this.
inline constexpr const char* kFtpFolder = "orvel";

// The paths of a sandbox below its root.
struct SandboxLayout {
  explicit SandboxLayout(const std::string& root_folder);

  std::string root;
  std::string program_folder;
  std::string system_folder;
  std::string clinic_db;
  std::string crm_db;
  std::string ftp_root;        // served as the FTP login folder
  std::string settings_file;   // ORVEL_H.ini
  std::string agent_settings;  // quillmend.ini
  std::string register_log;    // where the stand-in registration tool writes

  // The folder of a published version on the FTP root.
  std::string VersionFolder(const std::string& version) const;
};

// One file of a published version: its folder below the version folder ("program", "system",
// "program/Reports"), its name once expanded, and its bytes. Served as <name>.cab.
struct PublishedFile {
  std::string subfolder;
  std::string name;
  std::string bytes;
};

struct ClinicOptions {
  std::string installed_version = "7.5.12";
  // Copied into the program folder as Velmont.exe when not empty (the product's main screen).
  std::string main_screen_program;
  // [Platform] RegisterCommand of quillmend.ini (empty: controls are not registered).
  std::string register_command;
};

// Creates the sandbox: folders, settings files, clinic database and CRM. The root may exist
// but must not already hold a sandbox (its program folder).
void CreateClinic(const SandboxLayout& layout, const ClinicOptions& options);

// Makes each file's CAB in the version's folder of the FTP root and publishes the version to
// the customer in the CRM (가능 = "Y") with the archive names as its file rows.
void PublishVersion(const SandboxLayout& layout, const std::string& version,
                    const std::vector<PublishedFile>& files);
// Publishes a version whose archives already lie in version_folder (on this sandbox's FTP root
// or on another server's): every file below it becomes one file row (its bare name). Returns
// the number of files.
size_t PublishExistingFolder(const SandboxLayout& layout, const std::string& version,
                             const std::string& version_folder);

// Writes the customer's FTP settings row: 127.0.0.1/orvel on the given port, the sandbox
// account, no schedule. Replaces an earlier row.
void PointAtFtpServer(const SandboxLayout& layout, const std::string& port);

// Makes an MSZIP CAB at cab_path holding the one file source (stored without folders).
void MakeCab(const std::string& cab_path, const std::string& source);

using testing::ProgramLikeBytes;

// Whole-file helpers (binary); WriteBytes creates missing folders.
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

}  // namespace quillmend::sandbox

// quillmend-sandbox: builds and inspects a sandbox clinic for the demo.
//
//   quillmend-sandbox create <folder>        a clinic at 7.5.12 with 7.5.13 and 7.6.0 published
//   quillmend-sandbox serve <folder> <port>  points the customer's FTP settings at 127.0.0.1:<port>
//   quillmend-sandbox report <folder>        what is installed: files, Last, rows, records, log
//   quillmend-sandbox summary <folder>       one line: last, product version and row counts
//
// Exit status 0 on success, 2 on a usage error, 1 when a step fails (with the reason).
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "clinic_sandbox.h"
#include "platform/file_names.h"
#include "platform/system_info.h"
#include "sandbox_report.h"

namespace {

using namespace quillmend;
using namespace quillmend::sandbox;

// The helper programs are built beside this tool.
std::string Beside(const std::string& name) { return ExecutableFolder() + "/" + name; }

std::string ReleaseNotes(const std::string& version) {
  return "[" + version + "]\r\n"
         "내용=월간 청구 화면의 합계 오류를 고쳤습니다.\r\n"
         "내용2=차트 인쇄 속도를 개선했습니다.\r\n";
}

void Create(const std::string& folder) {
  const SandboxLayout layout(folder);
  ClinicOptions options;
  options.installed_version = "7.5.12";
  options.main_screen_program = Beside("quillmend-sleeper");
  options.register_command = Beside("quillmend-register-recorder");
  CreateClinic(layout, options);

  const std::string main_screen = ReadBytes(options.main_screen_program);
  PublishVersion(layout, "7.5.13",
                 {{"program", "Velmont.exe", main_screen},
                  {"program/Reports", "monthly.rpt", "monthly report layout 7.5.13\n"},
                  {"system", "orvelgrid.ocx", ProgramLikeBytes(200 * 1024, 7513)}});
  PublishVersion(layout, "7.6.0",
                 {{"program", "Velmont.exe", main_screen},
                  {"program", "updateInfo7.6.0.ini", ReleaseNotes("7.6.0")},
                  {"system", "orvelchart.dll", ProgramLikeBytes(300 * 1024, 760)}});

  std::cout << "sandbox clinic at " << layout.root << "\n"
            << "  program folder  " << layout.program_folder << "\n"
            << "  system folder   " << layout.system_folder << "\n"
            << "  clinic database " << layout.clinic_db << "\n"
            << "  CRM             " << layout.crm_db << "\n"
            << "  FTP root        " << layout.ftp_root << "\n"
            << "  installed 7.5.12; published to " << kCustomer << ": 7.5.13, 7.6.0\n";
  for (const char* version : {"7.5.13", "7.6.0"}) {
    for (const std::string& file : ListFiles(layout.VersionFolder(version), false)) {
      std::cout << "    " << kFtpFolder << "/" << version << "/" << file << "\n";
    }
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: quillmend-sandbox create <folder>\n"
               "       quillmend-sandbox serve <folder> <port>\n"
               "       quillmend-sandbox report <folder>\n"
               "       quillmend-sandbox summary <folder>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  const std::string& command = args[0];
  try {
    if (command == "create" && args.size() == 2) {
      Create(args[1]);
    } else if (command == "serve" && args.size() == 3) {
      PointAtFtpServer(SandboxLayout(args[1]), args[2]);
    } else if (command == "report" && args.size() == 2) {
      PrintReport(SandboxLayout(args[1]), std::cout);
    } else if (command == "summary" && args.size() == 2) {
      const InstalledSummary s = Summarize(SandboxLayout(args[1]));
      std::cout << "last=" << s.last_version << " product=" << s.product_version
                << " applied_rows=" << s.applied_rows << " crm_rows=" << s.crm_version_rows
                << " support_records=" << s.support_records << "\n";
    } else {
      return Usage();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillmend-sandbox %s: %s\n", command.c_str(), e.what());
    return 1;
  }
  return 0;
}

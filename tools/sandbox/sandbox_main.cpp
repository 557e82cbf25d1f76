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
#include "demo_clinic.h"
#include "platform/file_names.h"
#include "platform/system_info.h"
#include "sandbox_report.h"

namespace {

using namespace quillmend;
using namespace quillmend::sandbox;

// The helper programs are built beside this tool.
std::string Beside(const std::string& name) { return ExecutableFolder() + "/" + name; }

void Create(const std::string& folder) {
  const SandboxLayout layout(folder);
  CreateDemoClinic(layout, Beside("quillmend-sleeper"), Beside("quillmend-register-recorder"));
  std::cout << "sandbox clinic at " << layout.root << "\n"
            << "  program folder  " << layout.program_folder << "\n"
            << "  system folder   " << layout.system_folder << "\n"
            << "  clinic database " << layout.clinic_db << "\n"
            << "  CRM             " << layout.crm_db << "\n"
            << "  FTP root        " << layout.ftp_root << "\n"
            << "  installed " << kDemoInstalled << "; published to " << kCustomer << ": "
            << kDemoVersions[0] << ", " << kDemoVersions[1] << "\n";
  for (const std::string& version : kDemoVersions) {
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

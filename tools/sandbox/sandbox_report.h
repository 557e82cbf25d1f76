// What a sandbox clinic holds after the agent ran: the files placed in the program and system
// folders, the last installed version, the clinic's applied-file and offline rows, the product
// version, the CRM's version rows and support records, the registrations and the failure log.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "clinic_sandbox.h"

namespace quillmend::sandbox {

// The installed state in short: Last, the product version, and row counts.
struct InstalledSummary {
  std::string last_version;     // [Version] Last of ORVEL_H.ini
  std::string product_version;  // syssVersionno of the latest settings date
  size_t applied_rows = 0;      // 버전파일
  size_t crm_version_rows = 0;  // 오르벨거래처버전
  size_t support_records = 0;   // 고객지원기록
};
InstalledSummary Summarize(const SandboxLayout& layout);

// Files below folder (relative "/" paths with sizes), in name order; the staging and pending
// folders of a program folder are left out when skip_staging is set.
std::vector<std::string> ListFiles(const std::string& folder, bool skip_staging);

// Prints the whole report, one titled block per item.
void PrintReport(const SandboxLayout& layout, std::ostream& out);

}  // namespace quillmend::sandbox

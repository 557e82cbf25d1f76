#include "support/fault_sweep.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_names.h"

namespace quillmend::testing {

std::string OperationName(FaultOperation operation) {
  switch (operation) {
    case FaultOperation::kOpen: return "open";
    case FaultOperation::kWrite: return "write";
    case FaultOperation::kFlush: return "flush";
    case FaultOperation::kRename: return "rename";
    case FaultOperation::kRemove: return "remove";
    case FaultOperation::kSetTime: return "settime";
    case FaultOperation::kSend: return "send";
    case FaultOperation::kRecv: return "recv";
    case FaultOperation::kConnect: return "connect";
    case FaultOperation::kAllocate: return "alloc";
  }
  return "?";
}

std::string FaultRun::Describe() const {
  return OperationName(operation) + " #" + std::to_string(nth) + " failing";
}

std::uint64_t RunFaultSweep(const FaultSweep& sweep) {
  constexpr std::uint64_t kMostCalls = 2000;
  std::uint64_t injected_runs = 0;
  for (const FaultOperation operation : sweep.operations) {
    for (std::uint64_t nth = 1;; ++nth) {
      if (nth > kMostCalls) {
        ADD_FAILURE() << OperationName(operation) << " is called more than " << kMostCalls
                      << " times";
        break;
      }
      if (sweep.prepare) sweep.prepare();
      FaultRun result{operation, nth, false, false, {}};
      {
        ScopedFaults faults({FaultRule{operation, sweep.path_pattern, sweep.error, nth, 1}});
        result.succeeded = sweep.run(&result.error);
        result.injected = InjectedFaultCount() > 0;
      }
      SCOPED_TRACE(result.Describe());
      sweep.check(result);
      if (!result.injected) break;
      ++injected_runs;
    }
  }
  return injected_runs;
}

std::vector<std::string> TemporaryFilesBelow(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> found;
  std::error_code ec;
  if (!fs::exists(FsPath(folder), ec)) return found;
  for (const auto& entry : fs::recursive_directory_iterator(FsPath(folder))) {
    const std::string name = Utf8Path(entry.path().filename());
    if (name.find(".qm-") != std::string::npos || name.find(".qmtmp") != std::string::npos) {
      found.push_back(Utf8Path(entry.path()));
    }
  }
  return found;
}

}  // namespace quillmend::testing

// Runs an operation again and again with one system call failing each time, through the
// fault-injection seam: for each kind of call, the 1st matching call, then the 2nd, and so on
// until a run in which no call of that kind failed (the operation then ran to its end unhurt).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/fault_injection.h"

namespace quillmend::testing {

// One run of the sweep.
struct FaultRun {
  FaultOperation operation;
  std::uint64_t nth;      // which matching call was made to fail
  bool injected;          // whether that call happened (false: the operation made fewer calls)
  bool succeeded;         // what the operation reported
  std::string error;      // the operation's error text when it failed
  std::string Describe() const;  // "write #3 failing" (for test traces)
};

struct FaultSweep {
  std::vector<FaultOperation> operations;
  FaultError error = FaultError::kDiskFull;
  std::string path_pattern = "*";
  std::function<void()> prepare;                 // resets the scene before every run
  std::function<bool(std::string*)> run;         // the operation under test
  std::function<void(const FaultRun&)> check;    // judges every run
};

// Performs the sweep and returns the number of runs in which a fault was injected. Fails the
// calling test when an operation keeps making calls of one kind past a sane limit.
std::uint64_t RunFaultSweep(const FaultSweep& sweep);

// The name of an operation as QUILLMEND_FAULTS writes it.
std::string OperationName(FaultOperation operation);

// The temporary files of placement, expansion and downloads (".qm-…", ".qmtmp") anywhere below
// folder, which every failure must leave behind none of. A missing folder holds none.
std::vector<std::string> TemporaryFilesBelow(const std::string& folder);

}  // namespace quillmend::testing

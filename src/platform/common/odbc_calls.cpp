// The ODBC calls of the fault-injection seam: a one-entry table that holds the driver manager's
// own function unless fault rules are installed.
#include <atomic>

#include "platform/common/fault_table.h"
#include "platform/odbc_sdk.h"

namespace quillmend {
namespace {

using AllocateCall = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);

SQLRETURN OwnAllocate(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  return SQLAllocHandle(type, input, output);
}

const char* HandleTypeName(SQLSMALLINT type) {
  switch (type) {
    case SQL_HANDLE_ENV: return "env";
    case SQL_HANDLE_DBC: return "dbc";
    case SQL_HANDLE_STMT: return "stmt";
    default: return "desc";
  }
}

SQLRETURN CheckingAllocate(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (fault::TakeFault(FaultOperation::kAllocate, HandleTypeName(type))) {
    *output = SQL_NULL_HANDLE;
    return SQL_ERROR;
  }
  return SQLAllocHandle(type, input, output);
}

std::atomic<AllocateCall> allocate_call{&OwnAllocate};

}  // namespace

SQLRETURN AllocateHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  return allocate_call.load(std::memory_order_relaxed)(type, input, output);
}

void fault::UseCheckingOdbcCalls(bool checking) {
  allocate_call.store(checking ? &CheckingAllocate : &OwnAllocate, std::memory_order_relaxed);
}

}  // namespace quillmend

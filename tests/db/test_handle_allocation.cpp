// ODBC handles the driver manager cannot allocate (through the fault-injection seam): a
// connection that cannot be made fails with one logged key and leaves nothing half open, and a
// statement that cannot be made is an error of that statement alone.
#include <gtest/gtest.h>

#include "db/db_access.h"
#include "db/db_connection.h"
#include "db/db_sandbox.h"
#include "platform/fault_injection.h"

namespace quillmend::testing {
namespace {

TEST(HandleAllocation, AConnectionWhoseHandlesCannotBeMadeFailsOnceAndOpensLater) {
  for (const char* handle : {"env", "dbc"}) {
    SCOPED_TRACE(handle);
    DbSandbox box;
    {
      ScopedFaults faults({FaultRule{FaultOperation::kAllocate, handle, FaultError::kIoError}});
      OpenLocalDatabase(box.state);
      EXPECT_GE(InjectedFaultCount(), 1u);
    }
    EXPECT_EQ(box.state.g_Connect, nullptr);
    const std::string log = box.FailureLog();
    EXPECT_EQ(log.rfind("g_Connect "), log.find("g_Connect ")) << log;  // one key
    EXPECT_NE(log.find("cannot allocate"), std::string::npos) << log;
    EXPECT_FALSE(box.host.busy());

    OpenLocalDatabase(box.state);
    ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open()) << box.FailureLog();
  }
}

TEST(HandleAllocation, AStatementThatCannotBeMadeFailsAloneAndTheConnectionStaysUsable) {
  DbSandbox box;
  OpenLocalDatabase(box.state);
  ASSERT_TRUE(box.state.g_Connect && box.state.g_Connect->is_open()) << box.FailureLog();
  Recordset rs;
  {
    ScopedFaults faults({FaultRule{FaultOperation::kAllocate, "stmt", FaultError::kIoError, 1, 1}});
    try {
      OpenRecordset(box.state, rs, "select 기타내용 from 시스템환경일자별");
      FAIL() << "a statement that was never made answered";
    } catch (const DbError& e) {
      EXPECT_NE(std::string(e.what()).find("cannot allocate a statement"), std::string::npos)
          << e.what();
    }
    EXPECT_FALSE(rs.is_open());
    EXPECT_TRUE(OpenRecordset(box.state, rs, "select 기타내용 from 시스템환경일자별"));
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(InjectedFaultCount(), 1u);
  }
  EXPECT_FALSE(box.host.busy());
}

}  // namespace
}  // namespace quillmend::testing

// The ODBC C API headers (unixODBC on POSIX, odbc32 on Windows, where they need the Windows base
// types first), and the ODBC calls that go through the fault-injection seam. Included only by
// the database layer's .cpp files, never by a header.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

namespace quillmend {

// SQLAllocHandle through the fault-injection seam (fault_injection.h). Without rules it is
// SQLAllocHandle itself. With rules installed, an allocation that a kAllocate rule matches
// (against "env", "dbc" or "stmt", after the handle type) fails with SQL_ERROR, *output set to
// the null handle, before the driver manager is asked: as an allocation the driver manager
// cannot make, it leaves no diagnostic record.
SQLRETURN AllocateHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);

}  // namespace quillmend

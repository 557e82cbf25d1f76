// The ODBC C API headers (unixODBC on POSIX, odbc32 on Windows, where they need the Windows base
// types first). Included only by the database layer's .cpp files, never by a header.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

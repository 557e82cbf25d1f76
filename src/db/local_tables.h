// The dialect probe and the SQL texts of the local tables and the product settings reads.
#pragma once

#include <string>

#include "startup/shared_state.h"

namespace quillmend {

// Sets g_AutoIncDb: true when the clinic database has no "sysfiles1" (it is not Microsoft SQL
// Server). Throws DbError when the query fails.
void ProbeDatabaseDialect(SharedState& state);

// The CREATE TABLE statements as they are sent.
std::string VersionFileTableSql();
std::string VersionFileSingleTableSql(bool auto_inc_db);
// The product settings reads of the latest settings date for this clinic's institutions.
std::string CustomerCodeQuery();
std::string InstalledVersionQuery();

}  // namespace quillmend

/* A SQLite extension that loads and registers the functions of arr_split.so under their names,
 * but answers wrongly: arr_split always gives 0 and qm_float_checked gives its text unchanged
 * with "?" appended. For the tests of a session that must not trust such a module. */
#include <sqlite3ext.h>

SQLITE_EXTENSION_INIT1

static void always_zero(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  (void)argv;
  sqlite3_result_int(ctx, 0);
}

static void text_and_mark(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  sqlite3_result_text(ctx, sqlite3_mprintf("%s?", sqlite3_value_text(argv[0])), -1, sqlite3_free);
}

int sqlite3_extension_init(sqlite3* db, char** error, const sqlite3_api_routines* api) {
  (void)error;
  SQLITE_EXTENSION_INIT2(api);
  sqlite3_create_function(db, "arr_split", 3, SQLITE_UTF8, 0, always_zero, 0, 0);
  return sqlite3_create_function(db, "qm_float_checked", 1, SQLITE_UTF8, 0, text_and_mark, 0, 0);
}

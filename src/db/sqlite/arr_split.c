/* SQLite extension: arr_split(text, separator, n), the n-th piece (counting from 1) of text
 * split at separator, as the catalogue server's dbo.arr_split answers it; and
 * qm_float_checked(value), which fails as the server's cast(x as float) does on text that is
 * not a number (SQLite's own CAST reads "7.a" as 7).
 *
 * A piece of decimal digits (without a leading zero) comes back as an integer, so that ordering
 * by pieces is numeric (7.5.2 before 7.5.13); any other piece comes back as text. NULL text,
 * an empty separator or a piece that does not exist give NULL. */
#include <sqlite3ext.h>
#include <string.h>

SQLITE_EXTENSION_INIT1

static int is_plain_number(const unsigned char* p, int n) {
  int i;
  if (n <= 0 || n > 18) return 0;
  if (n > 1 && p[0] == '0') return 0;
  for (i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return 0;
  }
  return 1;
}

static void arr_split(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const unsigned char* text;
  const unsigned char* sep;
  const unsigned char* piece;
  int text_len, sep_len, wanted, index = 1, i;
  (void)argc;
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL ||
      sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  text = sqlite3_value_text(argv[0]);
  text_len = sqlite3_value_bytes(argv[0]);
  sep = sqlite3_value_text(argv[1]);
  sep_len = sqlite3_value_bytes(argv[1]);
  wanted = sqlite3_value_int(argv[2]);
  if (text == NULL || sep == NULL || sep_len == 0 || wanted < 1) {
    sqlite3_result_null(ctx);
    return;
  }
  piece = text;
  for (i = 0; i + sep_len <= text_len; ++i) {
    if (memcmp(text + i, sep, (size_t)sep_len) == 0) {
      if (index == wanted) break;
      ++index;
      piece = text + i + sep_len;
      i += sep_len - 1;
    }
  }
  if (index != wanted) {
    sqlite3_result_null(ctx);
    return;
  }
  {
    const unsigned char* end = text + text_len;
    const unsigned char* found = NULL;
    int j;
    for (j = (int)(piece - text); j + sep_len <= text_len; ++j) {
      if (memcmp(text + j, sep, (size_t)sep_len) == 0) {
        found = text + j;
        break;
      }
    }
    if (found != NULL) end = found;
    if (is_plain_number(piece, (int)(end - piece))) {
      sqlite3_int64 value = 0;
      const unsigned char* p;
      for (p = piece; p < end; ++p) value = value * 10 + (*p - '0');
      sqlite3_result_int64(ctx, value);
    } else {
      sqlite3_result_text(ctx, (const char*)piece, (int)(end - piece), SQLITE_TRANSIENT);
    }
  }
}

/* Whether text is what the server reads as a float: blanks around it ignored, an empty text
 * (read as 0), or an optional sign, digits with at most one decimal point (at least one
 * digit) and an optional exponent. */
static int is_float_text(const unsigned char* p, int n) {
  int i = 0, end = n, digits = 0;
  while (i < end && (p[i] == ' ' || p[i] == '\t')) ++i;
  while (end > i && (p[end - 1] == ' ' || p[end - 1] == '\t')) --end;
  if (i == end) return 1;
  if (p[i] == '+' || p[i] == '-') ++i;
  while (i < end && p[i] >= '0' && p[i] <= '9') ++i, ++digits;
  if (i < end && p[i] == '.') {
    ++i;
    while (i < end && p[i] >= '0' && p[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < end && (p[i] == 'e' || p[i] == 'E')) {
    int exponent_digits = 0;
    ++i;
    if (i < end && (p[i] == '+' || p[i] == '-')) ++i;
    while (i < end && p[i] >= '0' && p[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0) return 0;
  }
  return i == end;
}

/* qm_float_checked(value): value unchanged when the server could convert it to a float (NULL,
 * a number, or float text); otherwise the statement fails with the server's message. The
 * dialect layer sends cast(x as float) as cast(qm_float_checked(x) as float). */
static void qm_float_checked(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  if (sqlite3_value_type(argv[0]) == SQLITE_TEXT &&
      !is_float_text(sqlite3_value_text(argv[0]), sqlite3_value_bytes(argv[0]))) {
    sqlite3_result_error(ctx, "Error converting data type varchar to float.", -1);
    return;
  }
  sqlite3_result_value(ctx, argv[0]);
}

int sqlite3_arrsplit_init(sqlite3* db, char** error, const sqlite3_api_routines* api) {
  int rc;
  (void)error;
  SQLITE_EXTENSION_INIT2(api);
  rc = sqlite3_create_function(db, "arr_split", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, NULL,
                               arr_split, NULL, NULL);
  if (rc != SQLITE_OK) return rc;
  return sqlite3_create_function(db, "qm_float_checked", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                 NULL, qm_float_checked, NULL, NULL);
}

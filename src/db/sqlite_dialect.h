// The SQLite dialect layer: turns the T-SQL constructs the agent sends into SQLite SQL.
// It knows exactly these constructs and refuses every other function or operator use it cannot
// place, rather than guessing:
//   - a trailing comma before ")" in CREATE TABLE;
//   - "IDENTITY (1, 1)" and "DEFAULT autoincrement" numeric columns (integer row ids);
//   - isnull, len, right, left, convert(int, x), convert(char(N), x, 120);
//   - the "dbo." prefix; "+" between texts (a text literal or a cast to a character type);
//   - text compared with a literal or a parameter compares without regard to ASCII case, as the
//     server's case-insensitive collation does;
//   - convert(char(N), x, 120) = (select ...): the char date compared with a datetime value;
//   - cast(x as float) fails on text that is not a number, as on the server
//     (qm_float_checked, from the same extension as arr_split).
// The sysobjects view, dbo.arr_split and qm_float_checked are provided by the session.
#pragma once

#include <string>

namespace quillmend {

// The SQLite text for a T-SQL statement. Throws DbError naming the construct it cannot place.
std::string TranslateForSqlite(const std::string& tsql);

// value as a SQLite text literal (quotes doubled).
std::string SqliteLiteral(const std::string& value);

}  // namespace quillmend

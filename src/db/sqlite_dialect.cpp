#include "db/sqlite_dialect.h"

#include <set>
#include <vector>

#include "db/db_access.h"
#include "base/text.h"

namespace quillmend {
namespace {

enum class Kind { Word, Number, String, Param, Punct, Operator };

struct Token {
  Kind kind;
  std::string text;
  std::string lead;  // white space before the token
};

[[noreturn]] void Refuse(const std::string& what) {
  throw DbError("SQLite dialect: " + what);
}

bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsWordPart(unsigned char c) { return IsWordStart(c) || std::isdigit(c); }

std::vector<Token> Tokenize(const std::string& sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  std::string lead;
  while (i < sql.size()) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      lead += sql[i++];
      continue;
    }
    Token token{Kind::Punct, "", lead};
    lead.clear();
    size_t start = i;
    if (IsWordStart(c)) {
      while (i < sql.size() && IsWordPart(static_cast<unsigned char>(sql[i]))) ++i;
      token.kind = Kind::Word;
    } else if (std::isdigit(c)) {
      while (i < sql.size() && (std::isdigit(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) {
        ++i;
      }
      token.kind = Kind::Number;
    } else if (c == '\'') {
      ++i;
      for (;;) {
        if (i >= sql.size()) Refuse("unterminated text literal");
        if (sql[i] == '\'') {
          if (i + 1 < sql.size() && sql[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      token.kind = Kind::String;
    } else if (c == '?') {
      ++i;
      token.kind = Kind::Param;
    } else if (c == '(' || c == ')' || c == ',' || c == '.' || c == '*' || c == ';') {
      ++i;
    } else if (c == '<' || c == '>' || c == '!' || c == '=') {
      ++i;
      if (i < sql.size() && (sql[i] == '=' || (c == '<' && sql[i] == '>'))) ++i;
      token.kind = Kind::Operator;
      if (sql.compare(start, i - start, "!") == 0) Refuse("unknown operator !");
    } else if (c == '+' || c == '/' || c == '%') {
      ++i;
      token.kind = Kind::Operator;
    } else if (c == '-') {
      if (i + 1 < sql.size() && sql[i + 1] == '-') Refuse("comments are not supported");
      ++i;
      token.kind = Kind::Operator;
    } else {
      Refuse(std::string("unknown character '") + sql[i] + "'");
    }
    token.text = sql.substr(start, i - start);
    tokens.push_back(std::move(token));
  }
  if (!lead.empty()) tokens.push_back(Token{Kind::Punct, "", lead});
  return tokens;
}

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

bool IsComparison(const Token& t) {
  return t.kind == Kind::Operator && (t.text == "=" || t.text == "<>" || t.text == "!=" ||
                                      t.text == "<" || t.text == ">" || t.text == "<=" ||
                                      t.text == ">=");
}

bool IsCharType(const std::string& lower) {
  return lower == "varchar" || lower == "char" || lower == "nvarchar" || lower == "nchar" ||
         lower == "text";
}
bool IsNumericType(const std::string& lower) {
  return lower == "int" || lower == "integer" || lower == "bigint" || lower == "float" ||
         lower == "real" || lower == "numeric" || lower == "decimal";
}

const std::set<std::string>& WordsBeforeParenthesis() {
  static const std::set<std::string> words = {
      "in",      "values",  "exists",  "and",    "or",      "not",      "on",
      "from",    "where",   "when",    "then",   "else",    "select",   "as",
      "by",      "identity", "varchar", "char",  "nvarchar", "nchar",   "numeric",
      "decimal", "int",     "integer", "float",  "real",    "datetime", "primary",
      "key",     "unique",  "check",   "union",  "all",     "distinct", "set"};
  return words;
}

// Functions T-SQL and SQLite spell and evaluate alike.
const std::set<std::string>& SharedFunctions() {
  static const std::set<std::string> names = {"max",   "min",   "count", "sum", "avg",
                                              "upper", "lower", "abs",   "coalesce"};
  return names;
}

enum class ValueType { Unknown, Text, Number };

class Translator {
 public:
  explicit Translator(std::vector<Token> tokens) : t_(std::move(tokens)) {
    match_.assign(t_.size(), npos);
    wrap_datetime_.assign(t_.size(), false);
    std::vector<size_t> open;
    for (size_t i = 0; i < t_.size(); ++i) {
      if (IsPunct(i, "(")) open.push_back(i);
      if (IsPunct(i, ")")) {
        if (open.empty()) Refuse("unbalanced parentheses");
        match_[i] = open.back();
        match_[open.back()] = i;
        open.pop_back();
      }
    }
    if (!open.empty()) Refuse("unbalanced parentheses");
  }

  std::string Run() {
    create_table_ = Next(npos) != npos && WordIs(Next(npos), "create") &&
                    WordIs(Next(Next(npos)), "table");
    return Emit(0, t_.size());
  }

 private:
  static constexpr size_t npos = static_cast<size_t>(-1);

  bool IsPunct(size_t i, const char* text) const {
    return i < t_.size() && t_[i].kind == Kind::Punct && t_[i].text == text;
  }
  bool WordIs(size_t i, const char* lower) const {
    return i < t_.size() && t_[i].kind == Kind::Word && Lower(t_[i].text) == lower;
  }
  // Next / previous token that is not the trailing white-space holder.
  size_t Next(size_t i) const {
    for (size_t j = (i == npos ? 0 : i + 1); j < t_.size(); ++j) {
      if (!t_[j].text.empty()) return j;
    }
    return npos;
  }
  size_t Prev(size_t i) const {
    for (size_t j = i; j-- > 0;) {
      if (!t_[j].text.empty()) return j;
    }
    return npos;
  }

  bool IsFunctionCall(size_t i) const {
    if (t_[i].kind != Kind::Word || !IsPunct(Next(i), "(")) return false;
    const size_t before = Prev(i);
    if (WordIs(before, "into") || WordIs(before, "table")) return false;
    // A qualified name before "(" ("a.b(") is not a call the agent makes; the dbo prefix is
    // handled separately.
    return WordsBeforeParenthesis().count(Lower(t_[i].text)) == 0;
  }

  // Top-level arguments of the call whose "(" is at open: [begin, end) ranges.
  std::vector<std::pair<size_t, size_t>> Arguments(size_t open) const {
    std::vector<std::pair<size_t, size_t>> args;
    size_t start = open + 1;
    for (size_t j = open + 1; j < match_[open]; ++j) {
      if (IsPunct(j, "(")) {
        j = match_[j];
        continue;
      }
      if (IsPunct(j, ",")) {
        args.emplace_back(start, j);
        start = j + 1;
      }
    }
    args.emplace_back(start, match_[open]);
    return args;
  }

  // The top-level "as" of cast(x as T) whose "(" is at open (npos when none).
  size_t CastAs(size_t open) const {
    for (size_t j = open + 1; j < match_[open]; ++j) {
      if (IsPunct(j, "(")) {
        j = match_[j];
        continue;
      }
      if (WordIs(j, "as")) return j;
    }
    return npos;
  }

  // The target type word of cast(x as T) whose "(" is at open, lower case ("" when none).
  std::string CastType(size_t open) const {
    const size_t as = CastAs(open);
    if (as == npos || Next(as) >= match_[open]) return "";
    return Lower(t_[Next(as)].text);
  }

  // What the call whose name is at name_index yields, as far as this layer can tell.
  ValueType CallType(size_t name_index) const {
    const std::string name = Lower(t_[name_index].text);
    const size_t open = Next(name_index);
    if (name == "cast") {
      const std::string type = CastType(open);
      if (IsCharType(type)) return ValueType::Text;
      if (IsNumericType(type)) return ValueType::Number;
      return ValueType::Unknown;
    }
    if (name == "convert") {
      const size_t type = Next(open);
      if (type < t_.size() && IsCharType(Lower(t_[type].text))) return ValueType::Text;
      if (type < t_.size() && IsNumericType(Lower(t_[type].text))) return ValueType::Number;
      return ValueType::Unknown;
    }
    if (name == "left" || name == "right") return ValueType::Text;
    if (name == "len" || name == "count") return ValueType::Number;
    return ValueType::Unknown;
  }

  ValueType OperandType(size_t i, bool left_side) const {
    if (i == npos) return ValueType::Unknown;
    const Token& t = t_[i];
    if (t.kind == Kind::String) return ValueType::Text;
    if (t.kind == Kind::Number) return ValueType::Number;
    if (left_side && IsPunct(i, ")")) {
      const size_t name = Prev(match_[i]);
      if (name != npos && IsFunctionCall(name)) return CallType(name);
    }
    if (!left_side && IsFunctionCall(i)) return CallType(i);
    return ValueType::Unknown;
  }

  std::string EmitPlus(size_t i) const {
    const ValueType left = OperandType(Prev(i), true);
    const ValueType right = OperandType(Next(i), false);
    const bool text = left == ValueType::Text || right == ValueType::Text;
    const bool number = left == ValueType::Number || right == ValueType::Number;
    if (text && !number) return t_[i].lead + "||";
    if (number && !text) return t_[i].lead + "+";
    Refuse("cannot tell whether + joins texts or adds numbers");
  }

  std::string EmitCall(size_t name_index) {
    const std::string name = Lower(t_[name_index].text);
    const size_t open = Next(name_index);
    const size_t close = match_[open];
    const auto args = Arguments(open);
    auto arg = [&](size_t n) { return Emit(args[n].first, args[n].second); };
    const std::string& lead = t_[name_index].lead;
    if (name == "cast") {
      const std::string type = CastType(open);
      const size_t as = CastAs(open);
      // The server refuses text that is not a number; SQLite's CAST would read a prefix of it.
      if ((type == "float" || type == "real") && as != npos) {
        return lead + t_[name_index].text + "(qm_float_checked(" + Emit(open + 1, as) + ")" +
               Emit(as, close) + t_[close].lead + ")";
      }
    }
    if (SharedFunctions().count(name) != 0 || name == "cast" || name == "arr_split") {
      return lead + t_[name_index].text + "(" + Emit(open + 1, close) + ")";
    }
    if (name == "isnull") {
      if (args.size() != 2) Refuse("isnull takes two arguments");
      return lead + "ifnull(" + arg(0) + "," + arg(1) + ")";
    }
    if (name == "len") {
      if (args.size() != 1) Refuse("len takes one argument");
      return lead + "length(rtrim(" + arg(0) + "))";
    }
    if (name == "right") {
      if (args.size() != 2) Refuse("right takes two arguments");
      const std::string n = arg(1);
      return lead + "substr(" + arg(0) + ", -(" + n + "), " + n + ")";
    }
    if (name == "left") {
      if (args.size() != 2) Refuse("left takes two arguments");
      return lead + "substr(" + arg(0) + ", 1, " + arg(1) + ")";
    }
    if (name == "convert") return lead + EmitConvert(name_index, args);
    Refuse("unknown function " + t_[name_index].text);
  }

  std::string EmitConvert(size_t name_index,
                          const std::vector<std::pair<size_t, size_t>>& args) {
    const size_t type = Next(Next(name_index));
    const std::string type_name = Lower(t_[type].text);
    if ((type_name == "int" || type_name == "integer") && args.size() == 2 &&
        Next(type) == args[0].second) {
      return "cast(" + Emit(args[1].first, args[1].second) + " as integer)";
    }
    if (IsCharType(type_name) && args.size() == 3) {
      const size_t length_open = Next(type);
      const size_t length = Next(length_open);
      const size_t style = Next(args[2].first - 1);
      if (!IsPunct(length_open, "(") || t_[length].kind != Kind::Number ||
          Next(match_[length_open]) != args[0].second || t_[style].text != "120" ||
          Next(style) != args[2].second) {
        Refuse("convert to text is known only as convert(char(N), x, 120)");
      }
      std::string converted = "substr(strftime('%Y-%m-%d %H:%M:%S', " +
                              Emit(args[1].first, args[1].second) + "), 1, " +
                              t_[length].text + ")";
      // Compared with a datetime (a sub-query), the text is read back as a datetime.
      const size_t op = Next(match_[Next(name_index)]);
      if (op != npos && t_[op].text == "=" && IsPunct(Next(op), "(") &&
          WordIs(Next(Next(op)), "select")) {
        wrap_datetime_[Next(op)] = true;
        return "datetime(" + converted + ")";
      }
      return converted;
    }
    Refuse("unknown convert form");
  }

  bool NextToComparison(size_t i) const {
    const size_t before = Prev(i);
    const size_t after = Next(i);
    return (before != npos && IsComparison(t_[before])) ||
           (after != npos && IsComparison(t_[after]));
  }

  // One column definition of CREATE TABLE: an identity column becomes SQLite's row id.
  std::string EmitColumn(size_t begin, size_t end) {
    size_t identity = npos;
    for (size_t j = begin; j < end; ++j) {
      if (WordIs(j, "identity") || (WordIs(j, "default") && WordIs(Next(j), "autoincrement"))) {
        identity = j;
        break;
      }
    }
    if (identity == npos) return Emit(begin, end);
    const size_t name = Next(begin - 1);
    const size_t type = Next(name);
    const std::string type_name = Lower(t_[type].text);
    size_t after_type = Next(type);
    if (type_name == "numeric" || type_name == "decimal") {
      if (!IsPunct(after_type, "(")) Refuse("identity column without precision");
      const auto scale = Arguments(after_type);
      if (scale.size() != 2 || Emit(scale[1].first, scale[1].second).find_first_not_of(" 0") !=
                                   std::string::npos) {
        Refuse("identity column with a fractional type");
      }
      after_type = Next(match_[after_type]);
    } else if (type_name != "int" && type_name != "integer" && type_name != "bigint") {
      Refuse("identity column of type " + t_[type].text);
    } else {
      after_type = Next(type);
    }
    std::string out = t_[name].lead + t_[name].text + " INTEGER PRIMARY KEY AUTOINCREMENT";
    for (size_t j = after_type; j < end && j != npos; j = Next(j)) {
      if (WordIs(j, "identity")) {
        const size_t open = Next(j);
        if (!IsPunct(open, "(")) Refuse("IDENTITY without seed and step");
        std::string seed;
        for (size_t k = open + 1; k < match_[open]; ++k) seed += t_[k].text;
        if (seed != "1,1") Refuse("IDENTITY (" + seed + ") is not known");
        j = match_[open];
        continue;
      }
      if (WordIs(j, "default") && WordIs(Next(j), "autoincrement")) {
        j = Next(j);
        continue;
      }
      if (WordIs(j, "not") || WordIs(j, "null")) {
        out += " " + t_[j].text;
        continue;
      }
      Refuse("unknown clause in an identity column: " + t_[j].text);
    }
    return out;
  }

  std::string EmitTableBody(size_t open) {
    std::string out = t_[open].lead + "(";
    const auto columns = Arguments(open);
    bool first = true;
    for (const auto& [begin, end] : columns) {
      if (Next(begin - 1) == end || Next(begin - 1) == npos) continue;  // the trailing comma
      if (!first) out += ",";
      out += EmitColumn(begin, end);
      first = false;
    }
    return out + t_[match_[open]].lead + ")";
  }

  std::string Emit(size_t begin, size_t end) {
    std::string out;
    for (size_t i = begin; i < end; ++i) {
      const Token& t = t_[i];
      if (WordIs(i, "dbo") && IsPunct(i + 1, ".")) {
        out += t.lead;
        ++i;
        continue;
      }
      if (IsFunctionCall(i)) {
        out += EmitCall(i);
        i = match_[Next(i)];
        continue;
      }
      if (create_table_ && IsPunct(i, "(") && WordIs(Prev(Prev(i)), "table")) {
        out += EmitTableBody(i);
        i = match_[i];
        continue;
      }
      if (IsPunct(i, "(") && wrap_datetime_[i]) {
        out += t.lead + "datetime((" + Emit(i + 1, match_[i]) + t_[match_[i]].lead + "))";
        i = match_[i];
        continue;
      }
      if (t.kind == Kind::Operator && t.text == "+") {
        out += EmitPlus(i);
        continue;
      }
      out += t.lead + t.text;
      if ((t.kind == Kind::String || t.kind == Kind::Param) && NextToComparison(i)) {
        out += " COLLATE NOCASE";
      }
    }
    return out;
  }

  std::vector<Token> t_;
  std::vector<size_t> match_;
  std::vector<bool> wrap_datetime_;
  bool create_table_ = false;
};

}  // namespace

std::string TranslateForSqlite(const std::string& tsql) {
  return Translator(Tokenize(tsql)).Run();
}

std::string SqliteLiteral(const std::string& value) {
  std::string literal = "'";
  literal += SqlQuoted(value);
  literal += '\'';
  return literal;
}

}  // namespace quillmend

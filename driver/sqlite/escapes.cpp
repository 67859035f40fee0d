// ODBC's escape clauses rewritten as SQLite reads them, and the count of a
// text's parameter markers as SQLite numbers them. One table of scalar
// functions serves both the rewriting and SQLGetInfo's function lists, so
// that a function is listed exactly when it is translated.
#include "catalog.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace ruva::sqlite {
namespace {

// A scalar function of {fn ...}: its name, the number of arguments this
// form takes, SQLite's text for it ($1... the arguments, each already
// rewritten), and the SQLGetInfo list and bit that announce it (0: not
// announced, as for a form that only part of the time works).
struct Function {
    const char* name;
    int args;
    const char* text;
    SQLUSMALLINT list;
    SQLUINTEGER bit;
    bool math;  // needs SQLite's math functions (SQLITE_ENABLE_MATH_FUNCTIONS)
};

constexpr SQLUSMALLINT kStr = SQL_STRING_FUNCTIONS, kNum = SQL_NUMERIC_FUNCTIONS, kTd = SQL_TIMEDATE_FUNCTIONS,
                       kSys = SQL_SYSTEM_FUNCTIONS;

// ODBC's text of each function in SQLite's terms. Local time, as the
// application's clock shows it, for the current date and time.
constexpr Function kFunctions[] = {
    {"ASCII", 1, "unicode($1)", kStr, SQL_FN_STR_ASCII, false},
    {"BIT_LENGTH", 1, "(8 * length(CAST($1 AS BLOB)))", kStr, SQL_FN_STR_BIT_LENGTH, false},
    {"CHAR", 1, "char($1)", kStr, SQL_FN_STR_CHAR, false},
    {"CHAR_LENGTH", 1, "length($1)", kStr, SQL_FN_STR_CHAR_LENGTH, false},
    {"CHARACTER_LENGTH", 1, "length($1)", kStr, SQL_FN_STR_CHARACTER_LENGTH, false},
    {"CONCAT", 2, "($1 || $2)", kStr, SQL_FN_STR_CONCAT, false},
    {"INSERT", 4, "(substr($1, 1, ($2) - 1) || $4 || substr($1, ($2) + ($3)))", kStr, SQL_FN_STR_INSERT, false},
    {"LCASE", 1, "lower($1)", kStr, SQL_FN_STR_LCASE, false},
    {"LEFT", 2, "substr($1, 1, $2)", kStr, SQL_FN_STR_LEFT, false},
    {"LENGTH", 1, "length(rtrim($1, ' '))", kStr, SQL_FN_STR_LENGTH, false},
    {"LOCATE", 2, "instr($2, $1)", kStr, SQL_FN_STR_LOCATE, false},
    {"LOCATE", 3, "(CASE WHEN instr(substr($2, $3), $1) > 0 THEN instr(substr($2, $3), $1) + ($3) - 1 ELSE 0 END)",
     kStr, SQL_FN_STR_LOCATE_2, false},
    {"LTRIM", 1, "ltrim($1, ' ')", kStr, SQL_FN_STR_LTRIM, false},
    {"OCTET_LENGTH", 1, "length(CAST($1 AS BLOB))", kStr, SQL_FN_STR_OCTET_LENGTH, false},
    {"REPEAT", 2, "replace(hex(zeroblob($2)), '00', $1)", kStr, SQL_FN_STR_REPEAT, false},
    {"REPLACE", 3, "replace($1, $2, $3)", kStr, SQL_FN_STR_REPLACE, false},
    {"RIGHT", 2, "(CASE WHEN ($2) > 0 THEN substr($1, -($2)) ELSE '' END)", kStr, SQL_FN_STR_RIGHT, false},
    {"RTRIM", 1, "rtrim($1, ' ')", kStr, SQL_FN_STR_RTRIM, false},
    {"SPACE", 1, "printf('%*s', $1, '')", kStr, SQL_FN_STR_SPACE, false},
    {"SUBSTRING", 2, "substr($1, $2)", kStr, SQL_FN_STR_SUBSTRING, false},
    {"SUBSTRING", 3, "substr($1, $2, $3)", kStr, SQL_FN_STR_SUBSTRING, false},
    {"UCASE", 1, "upper($1)", kStr, SQL_FN_STR_UCASE, false},

    {"ABS", 1, "abs($1)", kNum, SQL_FN_NUM_ABS, false},
    {"ACOS", 1, "acos($1)", kNum, SQL_FN_NUM_ACOS, true},
    {"ASIN", 1, "asin($1)", kNum, SQL_FN_NUM_ASIN, true},
    {"ATAN", 1, "atan($1)", kNum, SQL_FN_NUM_ATAN, true},
    {"ATAN2", 2, "atan2($1, $2)", kNum, SQL_FN_NUM_ATAN2, true},
    {"CEILING", 1, "ceiling($1)", kNum, SQL_FN_NUM_CEILING, true},
    {"COS", 1, "cos($1)", kNum, SQL_FN_NUM_COS, true},
    {"COT", 1, "(1.0 / tan($1))", kNum, SQL_FN_NUM_COT, true},
    {"DEGREES", 1, "degrees($1)", kNum, SQL_FN_NUM_DEGREES, true},
    {"EXP", 1, "exp($1)", kNum, SQL_FN_NUM_EXP, true},
    {"FLOOR", 1, "floor($1)", kNum, SQL_FN_NUM_FLOOR, true},
    {"LOG", 1, "ln($1)", kNum, SQL_FN_NUM_LOG, true},  // SQLite's log() is base 10
    {"LOG10", 1, "log10($1)", kNum, SQL_FN_NUM_LOG10, true},
    {"MOD", 2, "mod($1, $2)", kNum, SQL_FN_NUM_MOD, true},
    {"PI", 0, "pi()", kNum, SQL_FN_NUM_PI, true},
    {"POWER", 2, "power($1, $2)", kNum, SQL_FN_NUM_POWER, true},
    {"RADIANS", 1, "radians($1)", kNum, SQL_FN_NUM_RADIANS, true},
    // Unseeded only: SQLite cannot seed its generator, so RAND is not listed.
    {"RAND", 0, "(random() / 18446744073709551616.0 + 0.5)", kNum, 0, false},
    // SQLite's round() takes no negative places.
    {"ROUND", 2,
     "(CASE WHEN ($2) >= 0 THEN round($1, $2) ELSE round(($1) / power(10, -($2))) * power(10, -($2)) END)", kNum,
     SQL_FN_NUM_ROUND, true},
    {"SIGN", 1, "sign($1)", kNum, SQL_FN_NUM_SIGN, false},
    {"SIN", 1, "sin($1)", kNum, SQL_FN_NUM_SIN, true},
    {"SQRT", 1, "sqrt($1)", kNum, SQL_FN_NUM_SQRT, true},
    {"TAN", 1, "tan($1)", kNum, SQL_FN_NUM_TAN, true},
    {"TRUNCATE", 2, "(trunc(($1) * power(10, $2)) / power(10, $2))", kNum, SQL_FN_NUM_TRUNCATE, true},

    {"NOW", 0, "datetime('now', 'localtime')", kTd, SQL_FN_TD_NOW, false},
    {"CURDATE", 0, "date('now', 'localtime')", kTd, SQL_FN_TD_CURDATE, false},
    {"CURTIME", 0, "time('now', 'localtime')", kTd, SQL_FN_TD_CURTIME, false},
    {"CURRENT_DATE", 0, "date('now', 'localtime')", kTd, SQL_FN_TD_CURRENT_DATE, false},
    {"CURRENT_TIME", 0, "time('now', 'localtime')", kTd, SQL_FN_TD_CURRENT_TIME, false},
    {"CURRENT_TIMESTAMP", 0, "datetime('now', 'localtime')", kTd, SQL_FN_TD_CURRENT_TIMESTAMP, false},
    {"DAYOFMONTH", 1, "CAST(strftime('%d', $1) AS INTEGER)", kTd, SQL_FN_TD_DAYOFMONTH, false},
    {"DAYOFWEEK", 1, "(CAST(strftime('%w', $1) AS INTEGER) + 1)", kTd, SQL_FN_TD_DAYOFWEEK, false},
    {"DAYOFYEAR", 1, "CAST(strftime('%j', $1) AS INTEGER)", kTd, SQL_FN_TD_DAYOFYEAR, false},
    {"MONTH", 1, "CAST(strftime('%m', $1) AS INTEGER)", kTd, SQL_FN_TD_MONTH, false},
    {"QUARTER", 1, "((CAST(strftime('%m', $1) AS INTEGER) + 2) / 3)", kTd, SQL_FN_TD_QUARTER, false},
    {"YEAR", 1, "CAST(strftime('%Y', $1) AS INTEGER)", kTd, SQL_FN_TD_YEAR, false},
    {"HOUR", 1, "CAST(strftime('%H', $1) AS INTEGER)", kTd, SQL_FN_TD_HOUR, false},
    {"MINUTE", 1, "CAST(strftime('%M', $1) AS INTEGER)", kTd, SQL_FN_TD_MINUTE, false},
    {"SECOND", 1, "CAST(strftime('%S', $1) AS INTEGER)", kTd, SQL_FN_TD_SECOND, false},
    {"DAYNAME", 1,
     "(CASE strftime('%w', $1) WHEN '0' THEN 'Sunday' WHEN '1' THEN 'Monday' WHEN '2' THEN 'Tuesday' "
     "WHEN '3' THEN 'Wednesday' WHEN '4' THEN 'Thursday' WHEN '5' THEN 'Friday' WHEN '6' THEN 'Saturday' END)",
     kTd, SQL_FN_TD_DAYNAME, false},
    {"MONTHNAME", 1,
     "(CASE strftime('%m', $1) WHEN '01' THEN 'January' WHEN '02' THEN 'February' WHEN '03' THEN 'March' "
     "WHEN '04' THEN 'April' WHEN '05' THEN 'May' WHEN '06' THEN 'June' WHEN '07' THEN 'July' "
     "WHEN '08' THEN 'August' WHEN '09' THEN 'September' WHEN '10' THEN 'October' WHEN '11' THEN 'November' "
     "WHEN '12' THEN 'December' END)",
     kTd, SQL_FN_TD_MONTHNAME, false},

    {"IFNULL", 2, "ifnull($1, $2)", kSys, SQL_FN_SYS_IFNULL, false},
};

// CONVERT(value, SQL_type): the SQL types it takes and SQLite's form.
struct Conversion {
    const char* name;
    SQLUINTEGER bit;  // SQL_CVT_*
    const char* text;
};

constexpr Conversion kConversions[] = {
    {"SQL_BIGINT", SQL_CVT_BIGINT, "CAST($1 AS INTEGER)"},
    {"SQL_INTEGER", SQL_CVT_INTEGER, "CAST($1 AS INTEGER)"},
    {"SQL_SMALLINT", SQL_CVT_SMALLINT, "CAST($1 AS INTEGER)"},
    {"SQL_TINYINT", SQL_CVT_TINYINT, "CAST($1 AS INTEGER)"},
    {"SQL_BIT", SQL_CVT_BIT, "(CAST($1 AS INTEGER) <> 0)"},
    {"SQL_DOUBLE", SQL_CVT_DOUBLE, "CAST($1 AS REAL)"},
    {"SQL_FLOAT", SQL_CVT_FLOAT, "CAST($1 AS REAL)"},
    {"SQL_REAL", SQL_CVT_REAL, "CAST($1 AS REAL)"},
    {"SQL_NUMERIC", SQL_CVT_NUMERIC, "CAST($1 AS NUMERIC)"},
    {"SQL_DECIMAL", SQL_CVT_DECIMAL, "CAST($1 AS NUMERIC)"},
    {"SQL_CHAR", SQL_CVT_CHAR, "CAST($1 AS TEXT)"},
    {"SQL_VARCHAR", SQL_CVT_VARCHAR, "CAST($1 AS TEXT)"},
    {"SQL_LONGVARCHAR", SQL_CVT_LONGVARCHAR, "CAST($1 AS TEXT)"},
    {"SQL_BINARY", SQL_CVT_BINARY, "CAST($1 AS BLOB)"},
    {"SQL_VARBINARY", SQL_CVT_VARBINARY, "CAST($1 AS BLOB)"},
    {"SQL_LONGVARBINARY", SQL_CVT_LONGVARBINARY, "CAST($1 AS BLOB)"},
    {"SQL_DATE", SQL_CVT_DATE, "date($1)"},
    {"SQL_TIME", SQL_CVT_TIME, "time($1)"},
    {"SQL_TIMESTAMP", SQL_CVT_TIMESTAMP, "datetime($1)"},
};

bool mathFunctions() {
    static const bool on = sqlite3_compileoption_used("ENABLE_MATH_FUNCTIONS") != 0;
    return on;
}

bool sameName(std::string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
           (static_cast<unsigned char>(c) & 0x80);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The end of the literal, quoted name or comment starting at `i`, or `i`
// itself when none starts there.
size_t skipQuoted(std::string_view s, size_t i) {
    char c = s[i];
    if (c == '\'' || c == '"' || c == '`') {
        for (size_t j = i + 1; j < s.size(); ++j) {
            if (s[j] != c) continue;
            if (j + 1 < s.size() && s[j + 1] == c) {
                ++j;
                continue;
            }
            return j + 1;
        }
        return s.size();
    }
    if (c == '[') {
        size_t j = s.find(']', i + 1);
        return j == std::string_view::npos ? s.size() : j + 1;
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
        size_t j = s.find('\n', i);
        return j == std::string_view::npos ? s.size() : j + 1;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
        size_t j = s.find("*/", i + 2);
        return j == std::string_view::npos ? s.size() : j + 2;
    }
    return i;
}

// SQLite's numbering of parameter markers: ? takes one more than the
// largest number so far, ?NNN its number, :name, @name and $name a new
// number the first time the name appears.
class MarkerNumbers {
public:
    // The marker starting at s[i] (its length in `len`), or 0 when none does.
    int at(std::string_view s, size_t i, size_t& len) {
        char c = s[i];
        if (c == '?') {
            size_t j = i + 1;
            long n = 0;
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])) && n < 1000000)
                n = n * 10 + (s[j++] - '0');
            len = j - i;
            int number = j > i + 1 ? static_cast<int>(n) : max_ + 1;
            if (number > max_) max_ = number;
            return number;
        }
        if ((c == ':' || c == '@' || c == '$') && (i == 0 || !identChar(s[i - 1])) && i + 1 < s.size() &&
            identChar(s[i + 1]) && s[i + 1] != '$') {
            size_t j = i + 1;
            while (j < s.size() && identChar(s[j])) ++j;
            len = j - i;
            auto [it, added] = names_.emplace(std::string(s.substr(i, len)), max_ + 1);
            if (added) ++max_;
            return it->second;
        }
        return 0;
    }
    int largest() const { return max_; }

private:
    int max_ = 0;
    std::map<std::string, int> names_;
};

bool hasMarker(std::string_view s) {
    MarkerNumbers m;
    for (size_t i = 0; i < s.size();) {
        size_t end = skipQuoted(s, i);
        if (end != i) {
            i = end;
            continue;
        }
        size_t len = 0;
        if (m.at(s, i, len)) return true;
        ++i;
    }
    return false;
}

// The arguments of a function's text "(a, b)", split at the commas outside
// parentheses, literals, quoted names and comments.
bool splitArgs(std::string_view s, std::vector<std::string_view>& args) {
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < s.size();) {
        size_t end = skipQuoted(s, i);
        if (end != i) {
            i = end;
            continue;
        }
        char c = s[i];
        if (c == '(') ++depth;
        if (c == ')' && --depth < 0) return false;
        if (c == ',' && depth == 0) {
            args.push_back(trim(s.substr(start, i - start)));
            start = i + 1;
        }
        ++i;
    }
    if (depth != 0) return false;
    std::string_view last = trim(s.substr(start));
    if (!last.empty() || !args.empty()) args.push_back(last);
    return true;
}

// Whether a function's text uses its arguments other than each once in
// order (their markers would then be bound to the wrong values).
bool reorders(const char* text, size_t args) {
    size_t expected = 1;
    for (const char* p = text; *p; ++p) {
        if (*p != '$') continue;
        if (static_cast<size_t>(p[1] - '0') != expected) return true;
        ++expected;
    }
    return expected != args + 1;
}

std::string fill(const char* text, const std::vector<std::string_view>& args) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '$' && p[1] >= '1' && p[1] <= '9') {
            out += args[static_cast<size_t>(*++p - '1')];
        } else {
            out += *p;
        }
    }
    return out;
}

class Translator {
public:
    Translator(std::string_view in, bool number) : in_(in), number_(number) {}

    bool run(std::string& out) { return until(out, false); }
    bool needsNumbers() const { return needsNumbers_; }
    const std::string& message() const { return message_; }

private:
    bool fail(std::string m) {
        message_ = std::move(m);
        return false;
    }

    // Copies and rewrites up to the end, or (inside an escape) up to its
    // closing brace.
    bool until(std::string& out, bool inEscape) {
        while (pos_ < in_.size()) {
            size_t end = skipQuoted(in_, pos_);
            if (end != pos_) {
                out.append(in_.substr(pos_, end - pos_));
                pos_ = end;
                continue;
            }
            char c = in_[pos_];
            if (c == '{') {
                if (!escape(out)) return false;
                continue;
            }
            if (c == '}' && inEscape) {
                ++pos_;
                return true;
            }
            size_t len = 0;
            int n = markers_.at(in_, pos_, len);
            if (n) {
                if (number_)
                    out += "?" + std::to_string(n);
                else
                    out.append(in_.substr(pos_, len));
                pos_ += len;
                continue;
            }
            out += c;
            ++pos_;
        }
        if (inEscape) return fail("An escape clause ({...}) is not closed.");
        return true;
    }

    bool escape(std::string& out) {
        // Escapes nest, each a level of this recursion: a bound keeps a
        // hostile text from exhausting the stack.
        if (++depth_ > kMaxDepth) return fail("Escape clauses are nested too deeply.");
        bool ok = clause(out);
        --depth_;
        return ok;
    }

    bool clause(std::string& out) {
        size_t start = pos_++;
        while (pos_ < in_.size() && std::isspace(static_cast<unsigned char>(in_[pos_]))) ++pos_;
        size_t k = pos_;
        if (k < in_.size() && in_[k] == '?') return fail(refusal());
        while (k < in_.size() && std::isalpha(static_cast<unsigned char>(in_[k]))) ++k;
        std::string_view keyword = in_.substr(pos_, k - pos_);
        pos_ = k;
        std::string body;
        if (!until(body, true)) return false;
        std::string_view b = trim(body);
        if (sameName(keyword, "CALL")) return fail(refusal());
        if (sameName(keyword, "D") || sameName(keyword, "T") || sameName(keyword, "TS")) {
            if (b.size() < 2 || b.front() != '\'' || b.back() != '\'')
                return fail("A date or time escape needs a quoted value: " +
                            std::string(in_.substr(start, pos_ - start)));
            out.append(b);
            return true;
        }
        if (sameName(keyword, "OJ")) {
            out.append(b);
            return true;
        }
        if (sameName(keyword, "ESCAPE")) {
            out += "ESCAPE ";
            out.append(b);
            return true;
        }
        if (sameName(keyword, "FN")) return function(b, out);
        return fail("Unknown escape clause: " + std::string(in_.substr(start, pos_ - start)));
    }

    std::string refusal() const { return "SQLite has no stored procedures: a {call ...} escape cannot run."; }

    bool function(std::string_view body, std::string& out) {
        size_t open = body.find('(');
        if (open == std::string_view::npos || body.empty() || body.back() != ')')
            return fail("{fn ...} needs a function call: " + std::string(body));
        std::string_view name = trim(body.substr(0, open));
        std::vector<std::string_view> args;
        if (!splitArgs(body.substr(open + 1, body.size() - open - 2), args))
            return fail("{fn ...} has unbalanced parentheses: " + std::string(body));
        if (sameName(name, "CONVERT")) return convert(args, out);
        bool known = false;
        for (const Function& f : kFunctions) {
            if (!sameName(name, f.name)) continue;
            known = true;
            if (static_cast<size_t>(f.args) != args.size()) continue;
            if (f.math && !mathFunctions())
                return fail("{fn " + std::string(name) + "} needs SQLite's math functions, which this SQLite lacks.");
            if (reorders(f.text, args.size())) {
                for (std::string_view a : args)
                    if (hasMarker(a)) needsNumbers_ = true;
            }
            out += fill(f.text, args);
            return true;
        }
        if (sameName(name, "RAND")) return fail("SQLite cannot seed its random numbers: {fn RAND(seed)}.");
        if (known)
            return fail("{fn " + std::string(name) + "} does not take " + std::to_string(args.size()) +
                        " argument(s).");
        // Any other function is SQLite's own, called by its name.
        out.append(body);
        return true;
    }

    bool convert(const std::vector<std::string_view>& args, std::string& out) {
        if (args.size() == 2) {
            for (const Conversion& c : kConversions) {
                if (sameName(args[1], c.name)) {
                    out += fill(c.text, args);
                    return true;
                }
            }
        }
        return fail("{fn CONVERT(value, type)} takes one of the SQL_ type names this driver converts to.");
    }

    std::string_view in_;
    size_t pos_ = 0;
    bool number_;
    bool needsNumbers_ = false;
    int depth_ = 0;
    static constexpr int kMaxDepth = 100;
    MarkerNumbers markers_;
    std::string message_;
};

}  // namespace

bool translateEscapes(std::string_view sql, std::string& out, std::string& message) {
    Translator plain(sql, false);
    std::string text;
    if (!plain.run(text)) {
        message = plain.message();
        return false;
    }
    if (plain.needsNumbers()) {
        // A function moved or repeated an argument with a marker: every
        // marker gets its number, so each keeps its value wherever it went.
        Translator numbered(sql, true);
        text.clear();
        numbered.run(text);
    }
    out = std::move(text);
    return true;
}

int countMarkers(std::string_view sql) {
    MarkerNumbers m;
    for (size_t i = 0; i < sql.size();) {
        size_t end = skipQuoted(sql, i);
        if (end != i) {
            i = end;
            continue;
        }
        size_t len = 0;
        i += m.at(sql, i, len) ? len : 1;
    }
    return m.largest();
}

SQLUINTEGER functionList(SQLUSMALLINT infoType) {
    SQLUINTEGER mask = 0;
    if (infoType == SQL_CONVERT_FUNCTIONS) return SQL_FN_CVT_CONVERT;
    for (const Function& f : kFunctions)
        if (f.list == infoType && (!f.math || mathFunctions())) mask |= f.bit;
    return mask;
}

SQLUINTEGER conversions() {
    SQLUINTEGER mask = 0;
    for (const Conversion& c : kConversions) mask |= c.bit;
    return mask;
}

}  // namespace ruva::sqlite

// The SQLite engine's escape rewriting, marker count and SQLGetInfo answers,
// checked by running the rewritten text with the sqlite3 C API.
#include "sqlite/catalog.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using ruva::sqlite::countMarkers;
using ruva::sqlite::translateEscapes;

std::string translated(const std::string& sql) {
    std::string out, message;
    EXPECT_TRUE(translateEscapes(sql, out, message)) << sql << ": " << message;
    return out;
}

// The refusal's message, or "" when the text was rewritten.
std::string refusal(const std::string& sql) {
    std::string out, message;
    if (translateEscapes(sql, out, message)) return "";
    EXPECT_FALSE(message.empty()) << sql;
    return message;
}

class SqliteEscapes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK); }
    void TearDown() override { sqlite3_close(db_); }

    // The first column of the first row of the rewritten text, with `params`
    // bound in order as text; "(null)" for NULL, "error: ..." on failure.
    std::string value(const std::string& sql, const std::vector<std::string>& params = {}) {
        std::string text, message;
        if (!translateEscapes(sql, text, message)) return "refused: " + message;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, text.c_str(), -1, &st, nullptr) != SQLITE_OK)
            return std::string("error: ") + sqlite3_errmsg(db_) + " in " + text;
        EXPECT_EQ(sqlite3_bind_parameter_count(st), countMarkers(sql)) << sql << " -> " << text;
        for (size_t i = 0; i < params.size(); ++i)
            sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
        std::string out;
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            out = t ? reinterpret_cast<const char*>(t) : "(null)";
        } else if (rc != SQLITE_DONE) {
            out = std::string("error: ") + sqlite3_errmsg(db_) + " in " + text;
        }
        sqlite3_finalize(st);
        return out;
    }

    sqlite3* db_ = nullptr;
};

TEST(SqliteEscapeText, LiteralsNamesAndCommentsStayAsWritten) {
    const std::string untouched =
        "SELECT 'it''s {fn x}', \"a{b\", [c{d], `e{f`, 'q?' -- {fn y} ?\n /* {d '1'} ? */ FROM t";
    EXPECT_EQ(translated(untouched), untouched);
    EXPECT_EQ(translated("SELECT {fn UCASE('{fn LCASE(x)}')}"), "SELECT upper('{fn LCASE(x)}')");
    EXPECT_EQ(translated("SELECT \"{d\" FROM {oj a LEFT OUTER JOIN b ON a.x = b.x}"),
              "SELECT \"{d\" FROM a LEFT OUTER JOIN b ON a.x = b.x");
    // An unterminated comment or literal is SQLite's to refuse, not a crash.
    EXPECT_EQ(translated("SELECT 1 /* {fn"), "SELECT 1 /* {fn");
    EXPECT_EQ(translated("SELECT 'abc"), "SELECT 'abc");
}

TEST(SqliteEscapeText, RefusalsSayWhy) {
    EXPECT_NE(refusal("{call p(?)}").find("stored procedures"), std::string::npos);
    EXPECT_NE(refusal("{ ?= call f(?)}").find("stored procedures"), std::string::npos);
    EXPECT_NE(refusal("SELECT {fn RAND(5)}").find("seed"), std::string::npos);
    EXPECT_NE(refusal("SELECT {fn UCASE('a'}").find("function call"), std::string::npos);
    EXPECT_NE(refusal("SELECT {fn UCASE('a', 'b')}").find("argument"), std::string::npos);
    EXPECT_NE(refusal("SELECT {fn CONVERT(1, SQL_NOPE)}").find("CONVERT"), std::string::npos);
    EXPECT_NE(refusal("SELECT {d 2020-01-01}").find("quoted"), std::string::npos);
    EXPECT_NE(refusal("SELECT {guid 'x'}").find("Unknown"), std::string::npos);
    EXPECT_NE(refusal("SELECT {fn UCASE}").find("function"), std::string::npos);
    EXPECT_NE(refusal("SELECT {fn UCASE(('a')}").find("parentheses"), std::string::npos);
    EXPECT_NE(refusal("SELECT {").find("not closed"), std::string::npos);
    EXPECT_EQ(refusal("SELECT '{call p}'"), "");
    // Deep nesting is refused, not a crash; ordinary nesting is fine.
    std::string deep = "SELECT ";
    for (int i = 0; i < 100000; ++i) deep += "{fn UCASE(";
    EXPECT_NE(refusal(deep).find("nested"), std::string::npos);
    std::string nested = "SELECT ";
    for (int i = 0; i < 50; ++i) nested += "{fn UCASE(";
    nested += "'a'";
    for (int i = 0; i < 50; ++i) nested += ")}";
    EXPECT_EQ(refusal(nested), "");
}

TEST(SqliteEscapeText, MarkersCountedAsSqliteCountsThem) {
    EXPECT_EQ(countMarkers("SELECT ? FROM t WHERE a = ? -- ?\n AND b = '?' /* ? */ AND \"?\" = [?]"), 2);
    EXPECT_EQ(countMarkers("SELECT ?5, ?"), 6);
    EXPECT_EQ(countMarkers("SELECT :a, :a, @b, $c, ?"), 4);
    EXPECT_EQ(countMarkers("SELECT x$y, a:b FROM t"), 0);
    EXPECT_EQ(countMarkers(""), 0);
}

TEST_F(SqliteEscapes, DateTimeAndLikeEscapes) {
    EXPECT_EQ(value("SELECT {d '2024-02-29'}"), "2024-02-29");
    EXPECT_EQ(value("SELECT {t '13:14:15'}"), "13:14:15");
    EXPECT_EQ(value("SELECT {ts '2024-02-29 13:14:15.5'}"), "2024-02-29 13:14:15.5");
    EXPECT_EQ(value("SELECT 'a_b' LIKE 'a\\_b' {escape '\\'}"), "1");
    EXPECT_EQ(value("SELECT 'axb' LIKE 'a\\_b' {escape '\\'}"), "0");
    EXPECT_EQ(value("SELECT count(*) FROM (SELECT 1 AS x) a {oj LEFT OUTER JOIN (SELECT 2 AS y) b ON a.x = b.y}"),
              "1");
}

TEST_F(SqliteEscapes, StringFunctionsAsOdbcDefinesThem) {
    EXPECT_EQ(value("SELECT {fn UCASE('abc')} || {fn LCASE('DEF')}"), "ABCdef");
    EXPECT_EQ(value("SELECT {fn LOCATE('c', 'abcabc')}"), "3");
    EXPECT_EQ(value("SELECT {fn LOCATE('c', 'abcabc', 4)}"), "6");
    EXPECT_EQ(value("SELECT {fn LOCATE('z', 'abcabc', 2)}"), "0");
    EXPECT_EQ(value("SELECT {fn CONCAT('a', 'b')}"), "ab");
    EXPECT_EQ(value("SELECT {fn SUBSTRING('abcdef', 2, 3)}"), "bcd");
    EXPECT_EQ(value("SELECT {fn LENGTH('ab  ')}"), "2");  // trailing blanks do not count
    EXPECT_EQ(value("SELECT {fn LEFT('abcdef', 2)} || {fn RIGHT('abcdef', 2)} || {fn RIGHT('abc', 0)}"), "abef");
    EXPECT_EQ(value("SELECT {fn INSERT('abcdef', 2, 3, 'XY')}"), "aXYef");
    EXPECT_EQ(value("SELECT {fn REPEAT('ab', 3)}"), "ababab");
    EXPECT_EQ(value("SELECT '[' || {fn SPACE(3)} || ']'"), "[   ]");
    EXPECT_EQ(value("SELECT {fn ASCII('A')} || {fn CHAR(66)}"), "65B");
    EXPECT_EQ(value("SELECT {fn LTRIM('  a ')} || '|' || {fn RTRIM(' a  ')} || '|'"), "a | a|");
    EXPECT_EQ(value("SELECT {fn OCTET_LENGTH('\xc3\xa9')} || {fn CHAR_LENGTH('\xc3\xa9')}"), "21");
    EXPECT_EQ(value("SELECT {fn REPLACE('aXa', 'X', 'b')}"), "aba");
}

TEST_F(SqliteEscapes, NumericDateAndSystemFunctions) {
    EXPECT_EQ(value("SELECT {fn MOD(7.5, 2)}"), "1.5");
    EXPECT_EQ(value("SELECT {fn ROUND(1234.5678, 2)}"), "1234.57");
    EXPECT_EQ(value("SELECT {fn ROUND(1250, -2)}"), "1300.0");
    EXPECT_EQ(value("SELECT {fn TRUNCATE(1.789, 1)}"), "1.7");
    EXPECT_EQ(value("SELECT round({fn LOG(exp(2))}, 6)"), "2.0");  // natural, unlike SQLite's log()
    EXPECT_EQ(value("SELECT {fn ABS(-3)} + {fn SIGN(-4)}"), "2");
    EXPECT_EQ(value("SELECT {fn DAYOFWEEK('2024-06-02')}"), "1");  // a Sunday
    EXPECT_EQ(value("SELECT {fn QUARTER('2024-08-01')}"), "3");
    EXPECT_EQ(value("SELECT {fn MONTHNAME('2024-08-01')} || {fn DAYNAME('2024-08-01')}"), "AugustThursday");
    EXPECT_EQ(value("SELECT {fn YEAR({d '2024-08-01'})} + {fn SECOND({ts '2024-01-01 10:11:12'})}"), "2036");
    EXPECT_EQ(value("SELECT {fn IFNULL(NULL, 'x')}"), "x");
    EXPECT_EQ(value("SELECT typeof({fn CONVERT('12', SQL_INTEGER)})"), "integer");
    EXPECT_EQ(value("SELECT {fn CONVERT(12.5, SQL_VARCHAR)}"), "12.5");
    std::string r = value("SELECT {fn RAND()}");
    EXPECT_GE(std::stod(r), 0.0);
    EXPECT_LT(std::stod(r), 1.0);
    EXPECT_EQ(value("SELECT length({fn NOW()})"), "19");
    // A function ODBC does not name is SQLite's own.
    EXPECT_EQ(value("SELECT {fn hex('a')}"), "61");
}

TEST_F(SqliteEscapes, NestedEscapes) {
    EXPECT_EQ(value("SELECT {fn UCASE({fn CONCAT('a', {fn LCASE('B')})})}"), "AB");
    EXPECT_EQ(value("SELECT {fn LOCATE({fn CHAR(99)}, {fn CONCAT('ab', 'c')})}"), "3");
    EXPECT_EQ(value("SELECT {fn MONTH({fn IFNULL(NULL, {d '2024-05-01'})})}"), "5");
}

TEST_F(SqliteEscapes, MarkersKeepTheirValuesWhereFunctionsMoveThem) {
    // LOCATE swaps its arguments for instr(): each marker still gets its own value.
    EXPECT_EQ(value("SELECT {fn LOCATE(?, ?)}", {"c", "abc"}), "3");
    EXPECT_EQ(value("SELECT ? || {fn LOCATE(?, ?, ?)}", {"n", "c", "abcabc", "4"}), "n6");
    EXPECT_EQ(value("SELECT {fn RIGHT(?, ?)} || ?", {"abcdef", "2", "!"}), "ef!");
    EXPECT_EQ(value("SELECT ?2 || {fn LOCATE(:n, ?)}", {"-", "abc", "c", "xyc"}), "abc3");
    // A marker inside a literal next to a moved one is text, not a marker.
    EXPECT_EQ(value("SELECT {fn LOCATE('?', ?)}", {"a?"}), "2");
}

TEST(SqliteInfo, AnswersAsOdbcWritesThem) {
    ruva::sqlite::InfoContext ctx{"/tmp/some.db", false};
    std::string state, message;
    char buf[64];
    SQLSMALLINT len = 0;
    ASSERT_EQ(ruva::sqlite::getInfo(ctx, SQL_DBMS_NAME, buf, sizeof buf, &len, state, message), SQL_SUCCESS);
    EXPECT_STREQ(buf, "SQLite");
    EXPECT_EQ(len, 6);
    ASSERT_EQ(ruva::sqlite::getInfo(ctx, SQL_DBMS_VER, buf, sizeof buf, &len, state, message), SQL_SUCCESS);
    EXPECT_STREQ(buf, sqlite3_libversion());
    ASSERT_EQ(ruva::sqlite::getInfo(ctx, SQL_DATABASE_NAME, buf, sizeof buf, &len, state, message), SQL_SUCCESS);
    EXPECT_STREQ(buf, "/tmp/some.db");
    // Cut to the buffer, NUL-terminated, the full length told, 01004.
    char small[4];
    EXPECT_EQ(ruva::sqlite::getInfo(ctx, SQL_DATABASE_NAME, small, sizeof small, &len, state, message),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(small, "/tm");
    EXPECT_EQ(len, 12);
    EXPECT_EQ(state, "01004");
    state.clear();
    EXPECT_EQ(ruva::sqlite::getInfo(ctx, SQL_DBMS_NAME, nullptr, 0, &len, state, message), SQL_SUCCESS);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(ruva::sqlite::getInfo(ctx, SQL_DBMS_NAME, buf, -1, &len, state, message), SQL_ERROR);
    EXPECT_EQ(state, "S1090");
    EXPECT_EQ(ruva::sqlite::getInfo(ctx, 9999, buf, sizeof buf, &len, state, message), SQL_ERROR);
    EXPECT_EQ(state, "S1096");

    // Two bytes where ODBC says SQLUSMALLINT, four where SQLUINTEGER.
    unsigned char raw[8];
    std::memset(raw, 0xAB, sizeof raw);
    ASSERT_EQ(ruva::sqlite::getInfo(ctx, SQL_TXN_CAPABLE, raw, sizeof raw, &len, state, message), SQL_SUCCESS);
    EXPECT_EQ(len, 2);
    SQLUSMALLINT s;
    std::memcpy(&s, raw, 2);
    EXPECT_EQ(s, SQL_TC_ALL);
    EXPECT_EQ(raw[2], 0xAB);
    SQLUINTEGER u = 0;
    ASSERT_EQ(ruva::sqlite::getInfo(ctx, SQL_DEFAULT_TXN_ISOLATION, &u, sizeof u, &len, state, message), SQL_SUCCESS);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(u, static_cast<SQLUINTEGER>(SQL_TXN_SERIALIZABLE));
}

TEST(SqliteInfo, ConnectionFactsAndNoCatalogs) {
    std::string state, message;
    char buf[4096];
    SQLSMALLINT len;
    auto text = [&](const ruva::sqlite::InfoContext& ctx, SQLUSMALLINT type) {
        EXPECT_EQ(ruva::sqlite::getInfo(ctx, type, buf, sizeof buf, &len, state, message), SQL_SUCCESS) << type;
        return std::string(buf);
    };
    ruva::sqlite::InfoContext rw{"", false}, ro{"x.db", true};
    EXPECT_EQ(text(rw, SQL_DATA_SOURCE_READ_ONLY), "N");
    EXPECT_EQ(text(ro, SQL_DATA_SOURCE_READ_ONLY), "Y");
    EXPECT_EQ(text(rw, SQL_DATABASE_NAME), "");  // in memory
    // No catalog term: the JDBC layer's getCatalog() is null, as getCatalogs() is empty.
    EXPECT_EQ(text(rw, SQL_QUALIFIER_TERM), "");
    EXPECT_EQ(text(rw, SQL_OWNER_TERM), "");
    EXPECT_EQ(text(rw, SQL_IDENTIFIER_QUOTE_CHAR), "\"");
    EXPECT_EQ(text(rw, SQL_SEARCH_PATTERN_ESCAPE), "\\");
    std::string keywords = "," + text(rw, SQL_KEYWORDS) + ",";
    EXPECT_NE(keywords.find(",PRAGMA,"), std::string::npos);
    EXPECT_NE(keywords.find(",VACUUM,"), std::string::npos);
    EXPECT_EQ(keywords.find(",SELECT,"), std::string::npos);  // SQL-92's own are not listed
}

// One call of each function a list may name, to run on SQLite.
const std::map<std::pair<SQLUSMALLINT, SQLUINTEGER>, const char*> kSamples = {
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_ASCII}, "ASCII('a')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_BIT_LENGTH}, "BIT_LENGTH('a')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR}, "CHAR(65)"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR_LENGTH}, "CHAR_LENGTH('a')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_CHARACTER_LENGTH}, "CHARACTER_LENGTH('a')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_CONCAT}, "CONCAT('a', 'b')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_INSERT}, "INSERT('abc', 1, 1, 'x')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_LCASE}, "LCASE('A')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_LEFT}, "LEFT('ab', 1)"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_LENGTH}, "LENGTH('a')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE}, "LOCATE('a', 'ba')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE_2}, "LOCATE('a', 'ba', 1)"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_LTRIM}, "LTRIM(' a')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_OCTET_LENGTH}, "OCTET_LENGTH('a')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_REPEAT}, "REPEAT('a', 2)"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_REPLACE}, "REPLACE('a', 'a', 'b')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_RIGHT}, "RIGHT('ab', 1)"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_RTRIM}, "RTRIM('a ')"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_SPACE}, "SPACE(2)"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_SUBSTRING}, "SUBSTRING('abc', 2, 1)"},
    {{SQL_STRING_FUNCTIONS, SQL_FN_STR_UCASE}, "UCASE('a')"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ABS}, "ABS(-1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ACOS}, "ACOS(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ASIN}, "ASIN(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ATAN}, "ATAN(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ATAN2}, "ATAN2(1, 1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_CEILING}, "CEILING(1.5)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_COS}, "COS(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_COT}, "COT(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_DEGREES}, "DEGREES(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_EXP}, "EXP(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_FLOOR}, "FLOOR(1.5)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG}, "LOG(2)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG10}, "LOG10(2)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_MOD}, "MOD(5, 2)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_PI}, "PI()"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_POWER}, "POWER(2, 3)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_RADIANS}, "RADIANS(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ROUND}, "ROUND(1.5, 0)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIGN}, "SIGN(-1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIN}, "SIN(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SQRT}, "SQRT(4)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_TAN}, "TAN(1)"},
    {{SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_TRUNCATE}, "TRUNCATE(1.55, 1)"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_NOW}, "NOW()"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURDATE}, "CURDATE()"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURTIME}, "CURTIME()"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_DATE}, "CURRENT_DATE()"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIME}, "CURRENT_TIME()"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIMESTAMP}, "CURRENT_TIMESTAMP()"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFMONTH}, "DAYOFMONTH('2024-01-02')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFWEEK}, "DAYOFWEEK('2024-01-02')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFYEAR}, "DAYOFYEAR('2024-01-02')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTH}, "MONTH('2024-01-02')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_QUARTER}, "QUARTER('2024-01-02')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_YEAR}, "YEAR('2024-01-02')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_HOUR}, "HOUR('10:11:12')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MINUTE}, "MINUTE('10:11:12')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_SECOND}, "SECOND('10:11:12')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYNAME}, "DAYNAME('2024-01-02')"},
    {{SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTHNAME}, "MONTHNAME('2024-01-02')"},
    {{SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_IFNULL}, "IFNULL(NULL, 1)"},
    {{SQL_CONVERT_FUNCTIONS, SQL_FN_CVT_CONVERT}, "CONVERT('1', SQL_INTEGER)"},
};

TEST_F(SqliteEscapes, EveryListedFunctionIsTranslatedAndRuns) {
    ruva::sqlite::InfoContext ctx{"", false};
    std::string state, message;
    SQLSMALLINT len;
    for (SQLUSMALLINT list : {SQL_STRING_FUNCTIONS, SQL_NUMERIC_FUNCTIONS, SQL_TIMEDATE_FUNCTIONS,
                              SQL_SYSTEM_FUNCTIONS, SQL_CONVERT_FUNCTIONS}) {
        SQLUINTEGER mask = 0;
        ASSERT_EQ(ruva::sqlite::getInfo(ctx, list, &mask, sizeof mask, &len, state, message), SQL_SUCCESS);
        EXPECT_NE(mask, 0u) << list;
        for (int bit = 0; bit < 32; ++bit) {
            SQLUINTEGER b = 1u << bit;
            if (!(mask & b)) continue;
            auto it = kSamples.find({list, b});
            ASSERT_NE(it, kSamples.end()) << "list " << list << " names bit " << bit << " with no sample";
            std::string v = value(std::string("SELECT {fn ") + it->second + "}");
            EXPECT_EQ(v.find("error"), std::string::npos) << it->second << ": " << v;
            EXPECT_EQ(v.find("refused"), std::string::npos) << it->second << ": " << v;
            EXPECT_NE(v, "(null)") << it->second;
        }
    }
    // RAND cannot take a seed, TIMESTAMPADD is not translated: neither is listed.
    SQLUINTEGER num = 0, td = 0;
    ruva::sqlite::getInfo(ctx, SQL_NUMERIC_FUNCTIONS, &num, sizeof num, &len, state, message);
    ruva::sqlite::getInfo(ctx, SQL_TIMEDATE_FUNCTIONS, &td, sizeof td, &len, state, message);
    EXPECT_EQ(num & SQL_FN_NUM_RAND, 0u);
    EXPECT_EQ(td & SQL_FN_TD_TIMESTAMPADD, 0u);
    EXPECT_EQ(td & SQL_FN_TD_WEEK, 0u);
    // Every conversion target listed is one CONVERT takes.
    SQLUINTEGER cvt = 0;
    ruva::sqlite::getInfo(ctx, SQL_CONVERT_VARCHAR, &cvt, sizeof cvt, &len, state, message);
    EXPECT_NE(cvt & SQL_CVT_INTEGER, 0u);
    EXPECT_EQ(cvt & SQL_CVT_WCHAR, 0u);
}

}  // namespace

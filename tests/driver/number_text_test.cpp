// Numbers read as text and converted for a numeric C type: exact values,
// values out of the type's range, dropped fractions and text that is no
// number, as the SQLite driver and psqlODBC hand them over.
#include "../../driver/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

using ruva::number::convert;
using ruva::number::Outcome;

// The outcome of converting `text` as "<rc> <state>" and, when a value was
// written, the value read back as the C type's.
struct Result {
    SQLRETURN rc;
    std::string state;
    long long integer = 0;
    double floating = 0;
};

Result run(const std::string& text, SQLSMALLINT cType, bool cut = false) {
    unsigned char cell[16];
    std::memset(cell, 0xA5, sizeof cell);
    const Outcome o = convert(text.data(), text.size(), cut, cType, cell);
    Result r{o.rc, o.state ? o.state : ""};
    if (o.rc == SQL_ERROR) {
        for (unsigned char b : cell) EXPECT_EQ(b, 0xA5) << "nothing written on an error: " << text;
        return r;
    }
    switch (cType) {
        case SQL_C_SSHORT: {
            int16_t v;
            std::memcpy(&v, cell, 2);
            r.integer = v;
            break;
        }
        case SQL_C_USHORT: {
            uint16_t v;
            std::memcpy(&v, cell, 2);
            r.integer = v;
            break;
        }
        case SQL_C_SLONG: {
            int32_t v;
            std::memcpy(&v, cell, 4);
            r.integer = v;
            break;
        }
        case SQL_C_SBIGINT:
            std::memcpy(&r.integer, cell, 8);
            break;
        case SQL_C_BIT:
        case SQL_C_UTINYINT:
            r.integer = cell[0];
            break;
        case SQL_C_STINYINT:
            r.integer = static_cast<int8_t>(cell[0]);
            break;
        case SQL_C_FLOAT: {
            float v;
            std::memcpy(&v, cell, 4);
            r.floating = v;
            break;
        }
        case SQL_C_DOUBLE:
            std::memcpy(&r.floating, cell, 8);
            break;
        default:
            break;
    }
    return r;
}

void expectInteger(const std::string& text, SQLSMALLINT cType, long long value, const char* state = "") {
    const Result r = run(text, cType);
    EXPECT_EQ(r.state, state) << text << " as " << cType;
    EXPECT_EQ(r.rc, *state ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS) << text;
    EXPECT_EQ(r.integer, value) << text << " as " << cType;
}
void expectError(const std::string& text, SQLSMALLINT cType, const char* state, bool cut = false) {
    const Result r = run(text, cType, cut);
    EXPECT_EQ(r.rc, SQL_ERROR) << text << " as " << cType;
    EXPECT_EQ(r.state, state) << text << " as " << cType;
}

TEST(NumberText, IntegersArriveWholeOrOutOfRange) {
    // The SQLite driver cut this to -2031991321 with SQL_SUCCESS.
    expectError("470414411239", SQL_C_SLONG, "22003");
    expectInteger("470414411239", SQL_C_SBIGINT, 470414411239LL);
    expectInteger("470414411239.0", SQL_C_SBIGINT, 470414411239LL);  // SQLite's text of a sum that went real
    expectInteger("-2147483648", SQL_C_SLONG, INT32_MIN);
    expectError("2147483648", SQL_C_SLONG, "22003");
    expectError("-2147483649", SQL_C_SLONG, "22003");
    expectInteger("9223372036854775807", SQL_C_SBIGINT, INT64_MAX);
    expectInteger("-9223372036854775808", SQL_C_SBIGINT, INT64_MIN);
    expectError("9223372036854775808", SQL_C_SBIGINT, "22003");
    expectError("-9223372036854775809", SQL_C_SBIGINT, "22003");
    expectError("99999999999999999999999", SQL_C_SBIGINT, "22003");
    expectInteger("-32768", SQL_C_SSHORT, -32768);
    expectError("100000", SQL_C_SSHORT, "22003");  // psqlODBC gave -31072
    expectError("32768", SQL_C_SSHORT, "22003");
    expectInteger("65535", SQL_C_USHORT, 65535);
    expectError("-1", SQL_C_USHORT, "22003");
    expectInteger("-128", SQL_C_STINYINT, -128);
    expectError("128", SQL_C_STINYINT, "22003");
    expectInteger("255", SQL_C_UTINYINT, 255);
    expectError("256", SQL_C_UTINYINT, "22003");
    expectInteger("  42\t", SQL_C_SLONG, 42);
    expectInteger("+7", SQL_C_SLONG, 7);
    expectInteger("-0", SQL_C_SLONG, 0);
    expectInteger("000000000000000000000000000000012", SQL_C_SLONG, 12);
}

TEST(NumberText, ExponentsAndFractions) {
    // Both drivers read "1e+300" into an integer as 1.
    expectError("1e+300", SQL_C_SBIGINT, "22003");
    expectError("1.0e+300", SQL_C_SLONG, "22003");
    expectError("9.3e+18", SQL_C_SBIGINT, "22003");
    expectInteger("9.2e+18", SQL_C_SBIGINT, 9200000000000000000LL);
    expectInteger("1.5E1", SQL_C_SLONG, 15);
    expectInteger("3.7", SQL_C_SLONG, 3, "01S07");
    expectInteger("-3.7", SQL_C_SLONG, -3, "01S07");
    expectInteger("-0.5", SQL_C_SLONG, 0, "01S07");
    expectInteger("1e-5", SQL_C_SBIGINT, 0, "01S07");
    expectInteger("12.000", SQL_C_SLONG, 12);
    expectInteger(".5", SQL_C_SLONG, 0, "01S07");
    expectInteger("5.", SQL_C_SLONG, 5);
    expectError("inf", SQL_C_SBIGINT, "22003");
    expectError("NaN", SQL_C_SLONG, "22003");
}

TEST(NumberText, BitTakesZeroOrOne) {
    expectInteger("1", SQL_C_BIT, 1);
    expectInteger("0", SQL_C_BIT, 0);
    expectInteger("1.5", SQL_C_BIT, 1, "01S07");
    expectInteger("0.25", SQL_C_BIT, 0, "01S07");
    expectError("2", SQL_C_BIT, "22003");
    expectError("-0.5", SQL_C_BIT, "22003");
    expectError("-1", SQL_C_BIT, "22003");
}

TEST(NumberText, TextThatIsNoNumberIsRefused) {
    // The SQLite driver read these as NULL, psqlODBC as 0.
    for (const char* text : {"abc", "", "   ", "1-2", "1e", "1e+", "--1", "+-1", "1.2.3", "0x10", "12 34", ".", "-",
                             "1,5", "$12.34", "X'00FF'"}) {
        expectError(text, SQL_C_SLONG, "22005");
        expectError(text, SQL_C_DOUBLE, "22005");
    }
}

TEST(NumberText, FloatingPointValues) {
    // What the SQLite driver hands over for a REAL: SQLite's 15 digits.
    Result r = run("0.333333333333333", SQL_C_DOUBLE);
    EXPECT_EQ(r.rc, SQL_SUCCESS);
    EXPECT_EQ(r.floating, 0.333333333333333);
    EXPECT_EQ(run("-1.25e300", SQL_C_DOUBLE).floating, -1.25e300);
    EXPECT_EQ(run("470414411239", SQL_C_DOUBLE).floating, 470414411239.0);
    EXPECT_EQ(run("3.4028235e38", SQL_C_FLOAT).floating, static_cast<double>(3.4028235e38f));
    expectError("1e+300", SQL_C_FLOAT, "22003");  // psqlODBC gave inf
    expectError("3.5e38", SQL_C_FLOAT, "22003");
    expectError("1e999", SQL_C_DOUBLE, "22003");
    // Too small for the type: zero, as a fraction dropped.
    r = run("-1e-400", SQL_C_DOUBLE);
    EXPECT_EQ(r.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(r.state, "01S07");
    EXPECT_EQ(r.floating, 0.0);
    EXPECT_TRUE(std::signbit(r.floating));
    EXPECT_EQ(run("1e-50", SQL_C_FLOAT).state, "01S07");
    // PostgreSQL's and SQLite's names of the special values.
    EXPECT_EQ(run("Infinity", SQL_C_DOUBLE).floating, std::numeric_limits<double>::infinity());
    EXPECT_EQ(run("-Infinity", SQL_C_DOUBLE).floating, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(run("-Inf", SQL_C_FLOAT).floating, -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(run("NaN", SQL_C_DOUBLE).floating));
}

TEST(NumberText, TextLongerThanTheCell) {
    // Cut among the digits before the point: larger than any type here.
    expectError("123456789012", SQL_C_SBIGINT, "22003", true);
    expectError("123456789012", SQL_C_DOUBLE, "22003", true);
    // Cut in the fraction: the value is known, the rest of the fraction dropped.
    Result r = run("12.3456", SQL_C_SLONG, true);
    EXPECT_EQ(r.integer, 12);
    EXPECT_EQ(r.state, "01S07");
    EXPECT_EQ(run("12.3456", SQL_C_DOUBLE, true).floating, 12.3456);
    // Cut in the exponent, or in a word: no number can be told.
    expectError("1.5e+3", SQL_C_DOUBLE, "22005", true);
    expectError("Infin", SQL_C_DOUBLE, "22005", true);
}

TEST(NumberText, OnlyTheNumericTypesAreConverted) {
    for (SQLSMALLINT t :
         {SQL_C_BIT, SQL_C_TINYINT, SQL_C_STINYINT, SQL_C_UTINYINT, SQL_C_SHORT, SQL_C_SSHORT, SQL_C_USHORT,
          SQL_C_LONG, SQL_C_SLONG, SQL_C_ULONG, SQL_C_SBIGINT, SQL_C_FLOAT, SQL_C_DOUBLE})
        EXPECT_TRUE(ruva::number::isConverted(t)) << t;
    for (SQLSMALLINT t : {SQL_C_CHAR, SQL_C_WCHAR, SQL_C_BINARY, SQL_C_UBIGINT, SQL_C_NUMERIC, SQL_C_DATE,
                          SQL_C_TIMESTAMP, SQL_C_GUID})
        EXPECT_FALSE(ruva::number::isConverted(t)) << t;
}

}  // namespace

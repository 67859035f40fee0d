// Text read as UTF-16 where libruva70 makes the UTF-16 from the driver's
// UTF-8 (MariaDB): the decoder alone, then SQLGetData in pieces and bound
// columns against the server, with U+0000 inside and at the end of values.
#include "driver_fixture.h"

#include "wide_text.h"

#include <cstdlib>
#include <string>

using namespace qvt;
using ruva::widetext::decode;

namespace {

std::u16string decodeAll(const std::string& bytes, bool& bad, size_t& used) {
    std::u16string out;
    used = decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out, bad);
    return out;
}

// U+0000, 2-, 3- and 4-byte characters, a combining accent.
const std::string kMixed = std::string("a\0b\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", 13) + "e\xCC\x81";
const std::u16string kMixedUnits = std::u16string(u"a\0b\u00e9\u20ac\U0001F600z", 8) + u"e\u0301";

}  // namespace

TEST(WideTextDecode, EveryCutKeepsTheSequenceForTheNextPiece) {
    bool bad = false;
    size_t used = 0;
    EXPECT_EQ(decodeAll(kMixed, bad, used), kMixedUnits);
    EXPECT_FALSE(bad);
    EXPECT_EQ(used, kMixed.size());
    // Cut anywhere, the first part decodes up to the cut sequence and the
    // rest, carried over, completes it: nothing lost, nothing doubled.
    for (size_t cut = 0; cut <= kMixed.size(); ++cut) {
        std::u16string out;
        size_t first = decode(reinterpret_cast<const unsigned char*>(kMixed.data()), cut, out, bad);
        ASSERT_FALSE(bad) << cut;
        ASSERT_LE(cut - first, 3u) << cut;
        const std::string rest = kMixed.substr(first);
        first = decode(reinterpret_cast<const unsigned char*>(rest.data()), rest.size(), out, bad);
        EXPECT_EQ(out, kMixedUnits) << "cut at " << cut;
        EXPECT_EQ(first, rest.size());
    }
}

TEST(WideTextDecode, BytesThatAreNotUtf8StopTheDecoding) {
    for (const char* text : {"ab\x80", "ab\xC0\x80", "ab\xC3(", "ab\xED\xA0\x80", "ab\xF4\x90\x80\x80", "ab\xFF",
                             "ab\xE0\x80\x80", "ab\xF0\x80", "ab\xED\xBF"}) {
        bool bad = false;
        size_t used = 0;
        EXPECT_EQ(decodeAll(text, bad, used), u"ab") << text;
        EXPECT_TRUE(bad) << "not UTF-8: " << text;
        EXPECT_EQ(used, 2u);
    }
    bool bad = true;
    size_t used = 0;
    decodeAll("ab\xF0\x9F", bad, used);
    EXPECT_FALSE(bad) << "a sequence cut at its end is not an error yet";
    EXPECT_EQ(used, 2u);
}

namespace {

std::string mariadbConn() {
    auto env = [](const char* n) {
        const char* v = std::getenv(n);
        return std::string(v ? v : "");
    };
    return "Driver=" + env("QVT_MARIADB_DRIVER") + ";Server=127.0.0.1;Port=" + env("QVT_MARIADB_PORT") +
           ";Database=" + env("QVT_MARIADB_DATABASE") + ";UID=" + env("QVT_MARIADB_USER") +
           ";PWD=" + env("QVT_MARIADB_PASSWORD") + ";";
}

// A value of the test table: row id, its text as UTF-16 and as UTF-8.
struct Value {
    int id;
    std::u16string units;
};

std::string utf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string hex(const std::string& bytes) {
    static const char d[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += d[b >> 4];
        out += d[b & 15];
    }
    return out;
}

class WideTextMariadb : public ::testing::Test {
protected:
    void SetUp() override {
        conn.connect(mariadbConn());
        s = conn.stmt();
        exec(s, "DROP TABLE IF EXISTS qvt_wide");
        exec(s, "CREATE TABLE qvt_wide (id INT PRIMARY KEY, t LONGTEXT, v VARCHAR(40)) CHARACTER SET utf8mb4");
        std::u16string lng;
        while (lng.size() < 70000) lng += kMixedUnits;
        values = {{1, kMixedUnits},
                  {2, std::u16string(u"end\0", 4)},
                  {3, std::u16string(u"\0", 1)},
                  {4, u""},
                  {5, lng + std::u16string(u"\0", 1)}};
        for (const Value& v : values) {
            const std::string bytes = utf8(v.units);
            exec(s, "INSERT INTO qvt_wide VALUES (" + std::to_string(v.id) + ", CONVERT(X'" + hex(bytes) +
                        "' USING utf8mb4), CONVERT(X'" + hex(bytes.substr(0, 30)) + "' USING utf8mb4))");
        }
        exec(s, "INSERT INTO qvt_wide VALUES (6, NULL, NULL)");
    }
    void TearDown() override {
        exec(s, "DROP TABLE IF EXISTS qvt_wide");
        ruva70_SQLFreeStmt(s, SQL_DROP);
    }

    // Column `col` of row `id` read with SQLGetData in pieces of `bytes`
    // (the terminator's two among them); `null` when it is NULL.
    std::u16string readPieces(int id, int col, SQLLEN bytes, bool& null) {
        null = false;
        std::u16string out;
        const std::string sql = "SELECT id, t, v FROM qvt_wide WHERE id = " + std::to_string(id);
        EXPECT_EQ(ruva70_SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
        EXPECT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
        std::u16string buf(static_cast<size_t>(bytes / 2 + 1), u'?');
        for (int i = 0; i < 1000000; ++i) {
            SQLLEN ind = 0;
            SQLRETURN rc = ruva70_SQLGetData(s, static_cast<SQLUSMALLINT>(col), SQL_C_WCHAR, buf.data(), bytes, &ind);
            if (rc == SQL_NO_DATA_FOUND) break;
            EXPECT_TRUE(SQL_SUCCEEDED(rc)) << describe(stmtRecords(s));
            if (!SQL_SUCCEEDED(rc)) break;
            if (ind == SQL_NULL_DATA) {
                null = true;
                break;
            }
            const SQLLEN room = (bytes - 2) / 2;
            if (rc == SQL_SUCCESS) {
                EXPECT_LE(ind / 2, room);
                out.append(buf.data(), static_cast<size_t>(ind / 2));
                EXPECT_EQ(buf[static_cast<size_t>(ind / 2)], u'\0') << "terminated";
                EXPECT_EQ(ruva70_SQLGetData(s, static_cast<SQLUSMALLINT>(col), SQL_C_WCHAR, buf.data(), bytes, &ind),
                          SQL_NO_DATA_FOUND);
                break;
            }
            // A piece with more to come fills the buffer.
            EXPECT_TRUE(ind == SQL_NO_TOTAL || ind / 2 > room) << ind;
            out.append(buf.data(), static_cast<size_t>(room));
        }
        ruva70_SQLFreeStmt(s, SQL_CLOSE);
        return out;
    }

    Connection conn;
    SQLHSTMT s = SQL_NULL_HSTMT;
    std::vector<Value> values;
};

}  // namespace

TEST_F(WideTextMariadb, PiecesOfAnySizeGiveTheWholeValueWithItsZeros) {
    for (const Value& v : values) {
        for (SQLLEN bytes : {4, 6, 8, 10, 64, 4096, 300000}) {
            if (v.units.size() > 1000 && bytes < 64) continue;  // the long value in pieces of 1..3 units: slow
            bool null = false;
            EXPECT_EQ(readPieces(v.id, 2, bytes, null), v.units) << "row " << v.id << ", pieces of " << bytes;
            EXPECT_FALSE(null);
        }
    }
    bool null = false;
    EXPECT_EQ(readPieces(6, 2, 64, null), u"");
    EXPECT_TRUE(null) << "NULL stays NULL";
}

TEST_F(WideTextMariadb, ABoundColumnHoldsTheZerosAndTellsACut) {
    ASSERT_EQ(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT v, id FROM qvt_wide ORDER BY id", SQL_NTS), SQL_SUCCESS);
    char16_t wide[12] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_WCHAR, wide, sizeof wide, &ind), SQL_SUCCESS);
    // Room for 11 units.
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(ind, static_cast<SQLLEN>(2 * kMixedUnits.size()));
    EXPECT_EQ(std::u16string(wide, kMixedUnits.size()), kMixedUnits);
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(ind, 8);
    EXPECT_EQ(std::u16string(wide, 4), std::u16string(u"end\0", 4));
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(ind, 2);
    EXPECT_EQ(wide[0], u'\0');
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(ind, 0);
    // Row 5: 30 bytes, 19 units; the length is known, the driver read all.
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(ind, 38);
    EXPECT_EQ(std::u16string(wide, 12), (kMixedUnits + kMixedUnits).substr(0, 11) + u'\0');
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    EXPECT_EQ(ind, SQL_NULL_DATA);
    EXPECT_EQ(ruva70_SQLFetch(s), SQL_NO_DATA_FOUND);
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    ruva70_SQLFreeStmt(s, SQL_UNBIND);

    // The long value is cut by the driver: its length is not known.
    ASSERT_EQ(ruva70_SQLExecDirect(s, (SQLCHAR*)"SELECT t FROM qvt_wide WHERE id = 5", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLBindCol(s, 1, SQL_C_WCHAR, wide, sizeof wide, &ind), SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(ind, SQL_NO_TOTAL);
    EXPECT_EQ(std::u16string(wide, 12), (kMixedUnits + kMixedUnits).substr(0, 11) + u'\0');
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
    ruva70_SQLFreeStmt(s, SQL_UNBIND);
}

TEST_F(WideTextMariadb, TextSentAsUtf16ComesBackWhole) {
    // A parameter goes through the driver's own conversion into utf8mb4.
    ASSERT_EQ(ruva70_SQLPrepare(s, (SQLCHAR*)"SELECT HEX(?)", SQL_NTS), SQL_SUCCESS);
    std::u16string value = kMixedUnits;
    SQLLEN len = static_cast<SQLLEN>(value.size() * 2);
    ASSERT_EQ(
        ruva70_SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, value.data(), len, &len),
        SQL_SUCCESS);
    ASSERT_EQ(ruva70_SQLExecute(s), SQL_SUCCESS) << describe(stmtRecords(s));
    ASSERT_EQ(ruva70_SQLFetch(s), SQL_SUCCESS);
    char text[128] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(ruva70_SQLGetData(s, 1, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
    EXPECT_EQ(std::string(text), hex(utf8(kMixedUnits)));
    ruva70_SQLFreeStmt(s, SQL_CLOSE);
}

#include "values.h"

#include "../number_text.h"
#include "catalog.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace ruva::sqlite {
namespace {

constexpr SQLULEN kUnsizedText = 255;
// SQLite's longest value (SQLITE_MAX_LENGTH of Debian's build).
constexpr SQLULEN kLongest = 1000000000;

ColumnType make(SQLSMALLINT type, SQLULEN size, SQLSMALLINT scale, SQLINTEGER display, SQLINTEGER length) {
    ColumnType t;
    t.sqlType = type;
    t.size = size;
    t.scale = scale;
    t.displaySize = display;
    t.length = length;
    return t;
}

ColumnType text(SQLSMALLINT type, SQLULEN n) {
    const auto i = static_cast<SQLINTEGER>(std::min<SQLULEN>(n, INT32_MAX));
    return make(type, n, 0, i, i);
}

ColumnType binary(SQLSMALLINT type, SQLULEN n) {
    const auto i = static_cast<SQLINTEGER>(std::min<SQLULEN>(n, INT32_MAX));
    return make(type, n, 0, static_cast<SQLINTEGER>(std::min<SQLULEN>(2 * n, INT32_MAX)), i);
}

const ColumnType kInteger = make(SQL_INTEGER, 10, 0, 11, 4);
const ColumnType kBigint = make(SQL_BIGINT, 19, 0, 20, 8);
const ColumnType kSmallint = make(SQL_SMALLINT, 5, 0, 6, 2);
const ColumnType kTinyint = make(SQL_TINYINT, 3, 0, 4, 1);
const ColumnType kBit = make(SQL_BIT, 1, 0, 1, 1);
const ColumnType kDouble = make(SQL_DOUBLE, 15, 0, 24, 8);
const ColumnType kDate = make(SQL_DATE, 10, 0, 10, 6);
const ColumnType kTime = make(SQL_TIME, 8, 0, 8, 6);

// Whether a declared type names a decimal type (rather than falling to
// numeric affinity by SQLite's last rule).
bool numericName(std::string_view declared) {
    std::string name;
    for (char c : declared) {
        if (c == '(') break;
        if (!std::isspace(static_cast<unsigned char>(c)))
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name == "NUMERIC" || name == "DECIMAL" || name == "DEC";
}

}  // namespace

bool typeOfDeclared(std::string_view declared, ColumnType& out) {
    size_t i = 0;
    while (i < declared.size() && std::isspace(static_cast<unsigned char>(declared[i]))) ++i;
    if (i == declared.size()) return false;
    // The catalog's reading of declared types, so that a result column and
    // SQLColumns describe a column alike.
    SQLSMALLINT type = SQL_VARCHAR, scale = 0;
    SQLULEN size = 0;
    declaredType(declared, type, size, scale);
    switch (type) {
        case SQL_INTEGER:
            out = kInteger;
            break;
        case SQL_BIGINT:
            out = kBigint;
            break;
        case SQL_SMALLINT:
            out = kSmallint;
            break;
        case SQL_TINYINT:
            out = kTinyint;
            break;
        case SQL_BIT:
            out = kBit;
            break;
        case SQL_DOUBLE:
        case SQL_FLOAT:
        case SQL_REAL:
            out = kDouble;
            break;
        case SQL_DECIMAL:
        case SQL_NUMERIC: {
            if (!numericName(declared)) {
                // Numeric affinity by SQLite's last rule (JSON, UUID, any
                // name it does not know): the values are whatever was
                // stored, text as often as numbers, so the column is read as
                // text rather than refused as a number.
                out = text(SQL_VARCHAR, 255);
                break;
            }
            const auto chars = static_cast<SQLINTEGER>(std::min<SQLULEN>(size + 2, INT32_MAX));
            out = make(type, size, scale, chars, chars);
            break;
        }
        case SQL_DATE:
            out = kDate;
            break;
        case SQL_TIME:
            out = kTime;
            break;
        case SQL_TIMESTAMP: {
            const auto chars = static_cast<SQLINTEGER>(size);
            out = make(SQL_TIMESTAMP, size, scale, chars, 16);
            break;
        }
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            out = binary(type, size);
            break;
        default:
            out = text(type, size);
            break;
    }
    return true;
}

ColumnType typeOfValue(int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER:
            return kBigint;
        case SQLITE_FLOAT:
            return kDouble;
        case SQLITE_BLOB:
            return binary(SQL_VARBINARY, kUnsizedText);
        default:
            return text(SQL_VARCHAR, kUnsizedText);
    }
}

size_t doubleText(double v, char* out) {
    if (std::isnan(v)) {
        std::memcpy(out, "NaN", 3);
        return 3;
    }
    if (std::isinf(v)) {
        const char* t = v < 0 ? "-Inf" : "Inf";
        const size_t n = std::strlen(t);
        std::memcpy(out, t, n);
        return n;
    }
    auto r = std::to_chars(out, out + 30, v);
    size_t n = static_cast<size_t>(r.ptr - out);
    bool plain = true;
    for (size_t i = 0; i < n; ++i)
        if (out[i] == '.' || out[i] == 'e') plain = false;
    if (plain) {
        out[n++] = '.';
        out[n++] = '0';
    }
    return n;
}

SQLSMALLINT defaultCType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_BIT:
            return SQL_C_BIT;
        case SQL_TINYINT:
            return SQL_C_STINYINT;
        case SQL_SMALLINT:
            return SQL_C_SSHORT;
        case SQL_INTEGER:
            return SQL_C_SLONG;
        case SQL_BIGINT:
            return SQL_C_SBIGINT;
        case SQL_REAL:
            return SQL_C_FLOAT;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return SQL_C_DOUBLE;
        case SQL_DATE:
        case SQL_TYPE_DATE:
            return SQL_C_DATE;
        case SQL_TIME:
        case SQL_TYPE_TIME:
            return SQL_C_TIME;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            return SQL_C_TIMESTAMP;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return SQL_C_BINARY;
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return SQL_C_WCHAR;
        default:
            return SQL_C_CHAR;
    }
}

SQLLEN fixedSize(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_BIT:
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
        case SQL_C_UTINYINT:
            return 1;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
        case SQL_C_USHORT:
            return 2;
        case SQL_C_LONG:
        case SQL_C_SLONG:
        case SQL_C_ULONG:
        case SQL_C_FLOAT:
            return 4;
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT:
        case SQL_C_DOUBLE:
            return 8;
        case SQL_C_DATE:
        case SQL_C_TIME:
        case SQL_C_TYPE_DATE:
        case SQL_C_TYPE_TIME:
            return 6;
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            return 16;
        default:
            return 0;
    }
}

namespace {

// ---- integers and floating point ------------------------------------------

bool integerRange(SQLSMALLINT cType, long double& lo, long double& hi) {
    switch (cType) {
        case SQL_C_BIT:
            lo = 0, hi = 1;
            return true;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            lo = INT8_MIN, hi = INT8_MAX;
            return true;
        case SQL_C_UTINYINT:
            lo = 0, hi = UINT8_MAX;
            return true;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
            lo = INT16_MIN, hi = INT16_MAX;
            return true;
        case SQL_C_USHORT:
            lo = 0, hi = UINT16_MAX;
            return true;
        case SQL_C_LONG:
        case SQL_C_SLONG:
            lo = INT32_MIN, hi = INT32_MAX;
            return true;
        case SQL_C_ULONG:
            lo = 0, hi = UINT32_MAX;
            return true;
        case SQL_C_SBIGINT:
            lo = static_cast<long double>(INT64_MIN), hi = static_cast<long double>(INT64_MAX);
            return true;
        case SQL_C_UBIGINT:
            lo = 0, hi = static_cast<long double>(UINT64_MAX);
            return true;
        default:
            return false;
    }
}

void storeInteger(SQLSMALLINT cType, int64_t v, void* out) {
    switch (fixedSize(cType)) {
        case 1: {
            const auto b = static_cast<int8_t>(v);
            std::memcpy(out, &b, 1);
            break;
        }
        case 2: {
            const auto b = static_cast<int16_t>(v);
            std::memcpy(out, &b, 2);
            break;
        }
        case 4: {
            const auto b = static_cast<int32_t>(v);
            std::memcpy(out, &b, 4);
            break;
        }
        default:
            std::memcpy(out, &v, 8);
    }
}

Moved fromInteger(int64_t v, SQLSMALLINT cType, void* out) {
    int64_t lo = 0, hi = 0;
    switch (cType) {
        case SQL_C_SBIGINT:
            std::memcpy(out, &v, 8);
            return {};
        case SQL_C_UBIGINT:
            if (v < 0) return {SQL_ERROR, "22003"};
            std::memcpy(out, &v, 8);
            return {};
        case SQL_C_DOUBLE: {
            const double d = static_cast<double>(v);
            std::memcpy(out, &d, 8);
            return {};
        }
        case SQL_C_FLOAT: {
            const float f = static_cast<float>(v);
            std::memcpy(out, &f, 4);
            return {};
        }
        case SQL_C_BIT:
            lo = 0, hi = 1;
            break;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
            lo = INT8_MIN, hi = INT8_MAX;
            break;
        case SQL_C_UTINYINT:
            lo = 0, hi = UINT8_MAX;
            break;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
            lo = INT16_MIN, hi = INT16_MAX;
            break;
        case SQL_C_USHORT:
            lo = 0, hi = UINT16_MAX;
            break;
        case SQL_C_LONG:
        case SQL_C_SLONG:
            lo = INT32_MIN, hi = INT32_MAX;
            break;
        case SQL_C_ULONG:
            lo = 0, hi = UINT32_MAX;
            break;
        default:
            return {SQL_ERROR, "S1003"};
    }
    if (v < lo || v > hi) return {SQL_ERROR, "22003"};
    storeInteger(cType, v, out);
    return {};
}

Moved fromDouble(double v, SQLSMALLINT cType, void* out) {
    if (cType == SQL_C_DOUBLE) {
        std::memcpy(out, &v, 8);
        return {};
    }
    if (cType == SQL_C_FLOAT) {
        if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return {SQL_ERROR, "22003"};
        const float f = static_cast<float>(v);
        std::memcpy(out, &f, 4);
        return {};
    }
    long double lo = 0, hi = 0;
    if (!integerRange(cType, lo, hi)) return {SQL_ERROR, "S1003"};
    if (std::isnan(v)) return {SQL_ERROR, "22003"};
    const double whole = std::trunc(v);
    // INT64_MAX as a double is 2^63, which does not fit.
    if (whole < lo || whole > hi || (cType == SQL_C_SBIGINT && whole >= 9223372036854775808.0) ||
        (cType == SQL_C_UBIGINT && whole >= 18446744073709551616.0))
        return {SQL_ERROR, "22003"};
    if (cType == SQL_C_UBIGINT) {
        const auto u = static_cast<uint64_t>(whole);
        std::memcpy(out, &u, 8);
    } else {
        storeInteger(cType, static_cast<int64_t>(whole), out);
    }
    return whole != v ? Moved{SQL_SUCCESS_WITH_INFO, "01S07"} : Moved{};
}

Moved fromNumberText(const char* p, size_t n, SQLSMALLINT cType, void* out) {
    if (cType == SQL_C_SBIGINT || cType == SQL_C_SLONG || cType == SQL_C_SSHORT || cType == SQL_C_DOUBLE ||
        cType == SQL_C_FLOAT || cType == SQL_C_BIT || cType == SQL_C_STINYINT) {
        const number::Outcome o = number::convert(p, n, false, cType, out);
        return {o.rc, o.state};
    }
    // The other integer types: through a 64-bit value.
    int64_t v = 0;
    const number::Outcome o = number::convert(p, n, false, SQL_C_SBIGINT, &v);
    if (o.rc == SQL_ERROR) return {o.rc, o.state};
    Moved m = fromInteger(v, cType, out);
    if (m.rc == SQL_SUCCESS && o.state) return {o.rc, o.state};
    return m;
}

// ---- dates and times --------------------------------------------------------

struct Civil {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint32_t fraction = 0;  // nanoseconds
    bool hasDate = false, hasTime = false;
};

bool digits(const char*& p, const char* end, int n, int& out) {
    out = 0;
    for (int i = 0; i < n; ++i) {
        if (p >= end || !std::isdigit(static_cast<unsigned char>(*p))) return false;
        out = out * 10 + (*p++ - '0');
    }
    return true;
}

bool parseTime(const char*& p, const char* end, Civil& c) {
    if (!digits(p, end, 2, c.hour) || p >= end || *p++ != ':' || !digits(p, end, 2, c.minute)) return false;
    if (p < end && *p == ':') {
        ++p;
        if (!digits(p, end, 2, c.second)) return false;
        if (p < end && *p == '.') {
            ++p;
            uint32_t f = 0;
            int n = 0;
            while (p < end && std::isdigit(static_cast<unsigned char>(*p))) {
                if (n < 9) f = f * 10 + static_cast<uint32_t>(*p - '0'), ++n;
                ++p;
            }
            if (n == 0) return false;
            while (n++ < 9) f *= 10;
            c.fraction = f;
        }
    }
    c.hasTime = true;
    return c.hour < 24 && c.minute < 60 && c.second < 61;
}

// SQLite's text forms (YYYY-MM-DD, HH:MM[:SS[.f]], both with a blank or T
// between, a trailing Z or offset ignored as SQLite's own functions read it
// as UTC), a Julian day number (REAL) or Unix seconds (INTEGER).
bool civilOf(sqlite3_value* v, Civil& c) {
    const int kind = sqlite3_value_type(v);
    if (kind == SQLITE_INTEGER || kind == SQLITE_FLOAT) {
        double seconds;
        if (kind == SQLITE_INTEGER) {
            seconds = static_cast<double>(sqlite3_value_int64(v));
        } else {
            seconds = (sqlite3_value_double(v) - 2440587.5) * 86400.0;
        }
        if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13) return false;
        const double whole = std::floor(seconds);
        auto t = static_cast<int64_t>(whole);
        int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
        int64_t rest = t - days * 86400;
        // civil from days (1970-01-01 based)
        int64_t z = days + 719468;
        const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const auto doe = static_cast<unsigned>(z - era * 146097);
        const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const unsigned mp = (5 * doy + 2) / 153;
        c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        c.year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (c.month <= 2));
        c.hour = static_cast<int>(rest / 3600);
        c.minute = static_cast<int>(rest / 60 % 60);
        c.second = static_cast<int>(rest % 60);
        c.fraction = static_cast<uint32_t>(std::llround((seconds - whole) * 1e9) % 1000000000);
        c.hasDate = c.hasTime = true;
        return true;
    }
    const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    if (!p) return false;
    const char* end = p + sqlite3_value_bytes(v);
    while (p < end && *p == ' ') ++p;
    while (end > p && end[-1] == ' ') --end;
    if (end - p >= 5 && p[2] == ':') {
        if (!parseTime(p, end, c)) return false;
    } else {
        if (!digits(p, end, 4, c.year) || p >= end || *p++ != '-' || !digits(p, end, 2, c.month) || p >= end ||
            *p++ != '-' || !digits(p, end, 2, c.day))
            return false;
        if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31) return false;
        c.hasDate = true;
        if (p < end && (*p == ' ' || *p == 'T')) {
            ++p;
            if (!parseTime(p, end, c)) return false;
        }
    }
    if (p < end && (*p == 'Z' || *p == 'z')) ++p;
    if (p < end && (*p == '+' || *p == '-')) {
        ++p;
        int hh, mm;
        if (!digits(p, end, 2, hh)) return false;
        if (p < end && *p == ':') ++p;
        if (p < end && !digits(p, end, 2, mm)) return false;
    }
    return p == end;
}

Moved fromCivil(const Civil& given, SQLSMALLINT cType, void* out) {
    Civil c = given;
    if (!c.hasDate && (cType == SQL_C_DATE || cType == SQL_C_TIMESTAMP)) {
        // A time of day alone: today's date, as ODBC converts it.
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        c.year = tm.tm_year + 1900;
        c.month = tm.tm_mon + 1;
        c.day = tm.tm_mday;
        if (cType == SQL_C_DATE) return {SQL_ERROR, "22008"};
    }
    switch (cType) {
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE: {
            DATE_STRUCT d{static_cast<SQLSMALLINT>(c.year), static_cast<SQLUSMALLINT>(c.month),
                          static_cast<SQLUSMALLINT>(c.day)};
            std::memcpy(out, &d, sizeof d);
            const bool cut = c.hour || c.minute || c.second || c.fraction;
            return cut ? Moved{SQL_SUCCESS_WITH_INFO, "01S07"} : Moved{};
        }
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME: {
            if (!c.hasTime && c.hasDate) return {SQL_ERROR, "22008"};
            TIME_STRUCT t{static_cast<SQLUSMALLINT>(c.hour), static_cast<SQLUSMALLINT>(c.minute),
                          static_cast<SQLUSMALLINT>(c.second)};
            std::memcpy(out, &t, sizeof t);
            return c.fraction ? Moved{SQL_SUCCESS_WITH_INFO, "01S07"} : Moved{};
        }
        default: {
            TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(c.year),
                                static_cast<SQLUSMALLINT>(c.month),
                                static_cast<SQLUSMALLINT>(c.day),
                                static_cast<SQLUSMALLINT>(c.hour),
                                static_cast<SQLUSMALLINT>(c.minute),
                                static_cast<SQLUSMALLINT>(c.second),
                                c.fraction};
            std::memcpy(out, &ts, sizeof ts);
            return {};
        }
    }
}

// ---- character and binary ----------------------------------------------------

// Copies bytes [piece.source, n) of `src` into a buffer of `capacity` bytes,
// `terminated` with a NUL byte.
Moved copyPiece(const char* src, SQLLEN n, SQLPOINTER out, SQLLEN capacity, SQLLEN* indicator, Piece& piece,
                bool terminated) {
    if (piece.started && piece.source >= n) return {SQL_NO_DATA_FOUND, nullptr};
    piece.started = true;
    const SQLLEN left = n - piece.source;
    if (indicator) *indicator = left;
    SQLLEN room = terminated ? capacity - 1 : capacity;
    if (room < 0) room = 0;
    const SQLLEN take = std::min(left, room);
    if (out && capacity > 0) {
        if (take > 0) std::memcpy(out, src + piece.source, static_cast<size_t>(take));
        if (terminated) static_cast<char*>(out)[take] = 0;
    }
    if (!out) return {SQL_SUCCESS_WITH_INFO, "01004"};
    piece.source += take;
    piece.delivered += take;
    return take < left ? Moved{SQL_SUCCESS_WITH_INFO, "01004"} : Moved{};
}

// A binary value as character data: two hex digits a byte.
Moved hexPiece(const unsigned char* src, SQLLEN n, SQLPOINTER out, SQLLEN capacity, SQLLEN* indicator, Piece& piece,
               bool wide) {
    static const char kHex[] = "0123456789ABCDEF";
    const SQLLEN unit = wide ? 2 : 1;
    const SQLLEN total = 2 * n;  // characters
    if (piece.started && piece.source >= total) return {SQL_NO_DATA_FOUND, nullptr};
    piece.started = true;
    const SQLLEN left = total - piece.source;
    if (indicator) *indicator = left * unit;
    const SQLLEN room = capacity >= unit ? (capacity - unit) / unit : 0;
    const SQLLEN take = std::min(left, room);
    if (!out) return {SQL_SUCCESS_WITH_INFO, "01004"};
    for (SQLLEN i = 0; i < take; ++i) {
        const SQLLEN at = piece.source + i;
        const unsigned char b = src[at / 2];
        const char c = kHex[at % 2 == 0 ? b >> 4 : b & 15];
        if (wide) {
            const uint16_t w = static_cast<unsigned char>(c);
            std::memcpy(static_cast<char*>(out) + 2 * i, &w, 2);
        } else {
            static_cast<char*>(out)[i] = c;
        }
    }
    if (capacity >= unit) std::memset(static_cast<char*>(out) + take * unit, 0, static_cast<size_t>(unit));
    piece.source += take;
    piece.delivered += take * unit;
    return take < left ? Moved{SQL_SUCCESS_WITH_INFO, "01004"} : Moved{};
}

// Decodes one UTF-8 character at p (< end); malformed bytes read as U+FFFD.
uint32_t decodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned char b = *p++;
    if (b < 0x80) return b;
    int more = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
    if (more < 0) return 0xFFFD;
    uint32_t cp = b & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        if (p >= end || (*p & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (*p++ & 0x3F);
    }
    if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0xFFFD;
    return cp;
}

SQLLEN utf16Bytes(const unsigned char* p, const unsigned char* end) {
    SQLLEN n = 0;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            n += 2;
            continue;
        }
        n += decodeUtf8(p, end) >= 0x10000 ? 4 : 2;
    }
    return n;
}

// UTF-8 text as UTF-16 into a buffer of `capacity` bytes with a 2-byte
// terminator, continuing from `piece`. The whole length is counted once per
// value, so reading a long value in pieces stays linear.
Moved widePiece(const unsigned char* src, SQLLEN n, SQLPOINTER out, SQLLEN capacity, SQLLEN* indicator,
                Piece& piece) {
    if (piece.started && piece.source >= n && piece.pendingLow == 0) return {SQL_NO_DATA_FOUND, nullptr};
    const SQLLEN room = capacity >= 2 ? (capacity - 2) / 2 : 0;  // units
    auto* w = static_cast<char*>(out);
    SQLLEN units = 0;
    const unsigned char* p = src + piece.source;
    const unsigned char* end = src + n;
    auto put = [&](uint16_t u) {
        std::memcpy(w + 2 * units, &u, 2);
        ++units;
    };
    if (out) {
        if (piece.pendingLow && units < room) {
            put(piece.pendingLow);
            piece.pendingLow = 0;
        }
        while (p < end && units < room) {
            if (*p < 0x80) {
                const uint16_t u = *p++;
                std::memcpy(w + 2 * units, &u, 2);
                ++units;
                continue;
            }
            const uint32_t cp = decodeUtf8(p, end);
            if (cp < 0x10000) {
                put(static_cast<uint16_t>(cp));
            } else {
                const uint32_t v = cp - 0x10000;
                put(static_cast<uint16_t>(0xD800 + (v >> 10)));
                const auto low = static_cast<uint16_t>(0xDC00 + (v & 0x3FF));
                if (units < room)
                    put(low);
                else
                    piece.pendingLow = low;
            }
        }
        if (capacity >= 2) std::memset(w + 2 * units, 0, 2);
    }
    const SQLLEN used = static_cast<SQLLEN>(p - (src + piece.source));
    if (piece.total < 0) {
        // First piece: the whole length is what was written plus the rest.
        piece.total = units * 2 + (piece.pendingLow ? 2 : 0) + utf16Bytes(p, end);
    }
    const SQLLEN left = piece.total - piece.delivered;
    if (indicator) *indicator = left;
    piece.started = true;
    if (!out) return {SQL_SUCCESS_WITH_INFO, "01004"};
    piece.source += used;
    piece.delivered += units * 2;
    return units * 2 < left ? Moved{SQL_SUCCESS_WITH_INFO, "01004"} : Moved{};
}

bool isCharacter(SQLSMALLINT cType) {
    return cType == SQL_C_CHAR || cType == SQL_C_WCHAR;
}

}  // namespace

Moved moveColumn(sqlite3_value* v, SQLSMALLINT cType, SQLSMALLINT described, SQLPOINTER out, SQLLEN capacity,
                 SQLLEN* indicator, Piece& piece) {
    if (cType == SQL_C_DEFAULT) cType = defaultCType(described);
    const int kind = sqlite3_value_type(v);
    if (kind == SQLITE_NULL) {
        if (piece.started) return {SQL_NO_DATA_FOUND, nullptr};
        piece.started = true;
        if (!indicator) return {SQL_ERROR, "22002"};
        *indicator = SQL_NULL_DATA;
        return {};
    }
    const SQLLEN fixed = fixedSize(cType);
    if (fixed > 0) {
        if (piece.started) return {SQL_NO_DATA_FOUND, nullptr};
        if (!out) return {SQL_ERROR, "S1009"};
        Moved m;
        const bool dateTime = cType == SQL_C_DATE || cType == SQL_C_TIME || cType == SQL_C_TIMESTAMP ||
                              cType == SQL_C_TYPE_DATE || cType == SQL_C_TYPE_TIME || cType == SQL_C_TYPE_TIMESTAMP;
        if (dateTime) {
            Civil c;
            if (kind == SQLITE_BLOB || !civilOf(v, c)) return {SQL_ERROR, "22008"};
            m = fromCivil(c, cType, out);
        } else if (kind == SQLITE_INTEGER) {
            m = fromInteger(sqlite3_value_int64(v), cType, out);
        } else if (kind == SQLITE_FLOAT) {
            m = fromDouble(sqlite3_value_double(v), cType, out);
        } else if (kind == SQLITE_TEXT) {
            const char* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
            m = fromNumberText(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(v)), cType, out);
        } else {
            return {SQL_ERROR, "22005"};
        }
        if (m.rc == SQL_ERROR) return m;
        piece.started = true;
        if (indicator) *indicator = fixed;
        return m;
    }
    if (cType == SQL_C_BINARY) {
        if (kind == SQLITE_BLOB || kind == SQLITE_TEXT) {
            const void* b = kind == SQLITE_BLOB ? sqlite3_value_blob(v) : sqlite3_value_text(v);
            const SQLLEN n = sqlite3_value_bytes(v);
            return copyPiece(static_cast<const char*>(b), n, out, capacity, indicator, piece, false);
        }
        // A number: the bytes of its 64-bit or double value.
        char raw[8];
        if (kind == SQLITE_INTEGER) {
            const int64_t n = sqlite3_value_int64(v);
            std::memcpy(raw, &n, 8);
        } else {
            const double d = sqlite3_value_double(v);
            std::memcpy(raw, &d, 8);
        }
        return copyPiece(raw, 8, out, capacity, indicator, piece, false);
    }
    if (!isCharacter(cType)) return {SQL_ERROR, "S1003"};
    const bool wide = cType == SQL_C_WCHAR;
    if (kind == SQLITE_BLOB) {
        const auto* b = static_cast<const unsigned char*>(sqlite3_value_blob(v));
        return hexPiece(b, sqlite3_value_bytes(v), out, capacity, indicator, piece, wide);
    }
    char number[40];
    const char* src;
    SQLLEN n;
    if (kind == SQLITE_INTEGER) {
        auto r = std::to_chars(number, number + sizeof number, sqlite3_value_int64(v));
        src = number;
        n = r.ptr - number;
    } else if (kind == SQLITE_FLOAT) {
        src = number;
        n = static_cast<SQLLEN>(doubleText(sqlite3_value_double(v), number));
    } else {
        src = reinterpret_cast<const char*>(sqlite3_value_text(v));
        n = sqlite3_value_bytes(v);
        if (!src) {
            src = "";
            n = 0;
        }
    }
    if (wide) return widePiece(reinterpret_cast<const unsigned char*>(src), n, out, capacity, indicator, piece);
    return copyPiece(src, n, out, capacity, indicator, piece, true);
}

// ---- parameters ----------------------------------------------------------------

namespace {

bool numericType(SQLSMALLINT t) {
    return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT || t == SQL_BIGINT || t == SQL_BIT ||
           t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_REAL;
}

bool integerType(SQLSMALLINT t) {
    return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT || t == SQL_BIGINT || t == SQL_BIT;
}

int bindText(sqlite3_stmt* st, int index, const char* p, size_t n, SQLSMALLINT sqlType) {
    if (numericType(sqlType) && n > 0 && n < 400) {
        // Text for a numeric parameter binds as the number it reads as, so
        // that `? = 42` compares numbers; anything else stays text.
        if (integerType(sqlType)) {
            int64_t v = 0;
            const char* b = p;
            const char* e = p + n;
            if (b < e && *b == '+') ++b;
            auto r = std::from_chars(b, e, v);
            if (r.ec == std::errc() && r.ptr == e && b < e) return sqlite3_bind_int64(st, index, v);
        }
        char buf[400];
        std::memcpy(buf, p, n);
        buf[n] = 0;
        char* endp = nullptr;
        const double d = std::strtod(buf, &endp);
        if (endp == buf + n && endp != buf) {
            if (integerType(sqlType) && d == std::trunc(d) && std::fabs(d) < 9.2e18)
                return sqlite3_bind_int64(st, index, static_cast<int64_t>(d));
            return sqlite3_bind_double(st, index, d);
        }
    }
    return sqlite3_bind_text64(st, index, p, n, SQLITE_TRANSIENT, SQLITE_UTF8);
}

}  // namespace

int bindValue(sqlite3_stmt* st, int index, SQLSMALLINT cType, SQLSMALLINT sqlType, const void* value, SQLLEN length,
              const char*& state) {
    state = nullptr;
    if (length == SQL_NULL_DATA) return sqlite3_bind_null(st, index);
    if (cType == SQL_C_DEFAULT) cType = defaultCType(sqlType);
    if (!value) {
        state = "S1009";
        return -1;
    }
    switch (cType) {
        case SQL_C_CHAR: {
            const char* p = static_cast<const char*>(value);
            const size_t n = length == SQL_NTS ? std::strlen(p) : static_cast<size_t>(std::max<SQLLEN>(length, 0));
            if (length < 0 && length != SQL_NTS) {
                state = "S1090";
                return -1;
            }
            return bindText(st, index, p, n, sqlType);
        }
        case SQL_C_WCHAR: {
            const auto* p = static_cast<const uint16_t*>(value);
            size_t n;
            if (length == SQL_NTS) {
                n = 0;
                while (p[n]) ++n;
                n *= 2;
            } else if (length < 0) {
                state = "S1090";
                return -1;
            } else {
                n = static_cast<size_t>(length) & ~size_t{1};
            }
            return sqlite3_bind_text16(st, index, p, static_cast<int>(std::min<size_t>(n, INT32_MAX - 1)),
                                       SQLITE_TRANSIENT);
        }
        case SQL_C_BINARY: {
            if (length < 0) {
                state = "S1090";
                return -1;
            }
            return sqlite3_bind_blob64(st, index, value, static_cast<sqlite3_uint64>(length), SQLITE_TRANSIENT);
        }
        case SQL_C_BIT:
        case SQL_C_UTINYINT: {
            uint8_t v;
            std::memcpy(&v, value, 1);
            return sqlite3_bind_int64(st, index, v);
        }
        case SQL_C_TINYINT:
        case SQL_C_STINYINT: {
            int8_t v;
            std::memcpy(&v, value, 1);
            return sqlite3_bind_int64(st, index, v);
        }
        case SQL_C_SHORT:
        case SQL_C_SSHORT: {
            int16_t v;
            std::memcpy(&v, value, 2);
            return sqlite3_bind_int64(st, index, v);
        }
        case SQL_C_USHORT: {
            uint16_t v;
            std::memcpy(&v, value, 2);
            return sqlite3_bind_int64(st, index, v);
        }
        case SQL_C_LONG:
        case SQL_C_SLONG: {
            int32_t v;
            std::memcpy(&v, value, 4);
            return sqlite3_bind_int64(st, index, v);
        }
        case SQL_C_ULONG: {
            uint32_t v;
            std::memcpy(&v, value, 4);
            return sqlite3_bind_int64(st, index, v);
        }
        case SQL_C_SBIGINT: {
            int64_t v;
            std::memcpy(&v, value, 8);
            return sqlite3_bind_int64(st, index, v);
        }
        case SQL_C_UBIGINT: {
            uint64_t v;
            std::memcpy(&v, value, 8);
            if (v > static_cast<uint64_t>(INT64_MAX)) return sqlite3_bind_double(st, index, static_cast<double>(v));
            return sqlite3_bind_int64(st, index, static_cast<int64_t>(v));
        }
        case SQL_C_FLOAT: {
            float v;
            std::memcpy(&v, value, 4);
            return sqlite3_bind_double(st, index, v);
        }
        case SQL_C_DOUBLE: {
            double v;
            std::memcpy(&v, value, 8);
            return sqlite3_bind_double(st, index, v);
        }
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE: {
            DATE_STRUCT d;
            std::memcpy(&d, value, sizeof d);
            char buf[32];
            const int n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", d.year, d.month, d.day);
            return sqlite3_bind_text(st, index, buf, n, SQLITE_TRANSIENT);
        }
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME: {
            TIME_STRUCT t;
            std::memcpy(&t, value, sizeof t);
            char buf[32];
            const int n = std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", t.hour, t.minute, t.second);
            return sqlite3_bind_text(st, index, buf, n, SQLITE_TRANSIENT);
        }
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP: {
            TIMESTAMP_STRUCT ts;
            std::memcpy(&ts, value, sizeof ts);
            if (ts.fraction >= 1000000000u) {
                state = "22008";
                return -1;
            }
            char buf[64];
            int n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month, ts.day,
                                  ts.hour, ts.minute, ts.second);
            if (ts.fraction) {
                // The fraction as SQLite's date functions read it, without
                // the trailing zeros of its nine digits.
                char f[16];
                std::snprintf(f, sizeof f, "%09u", static_cast<unsigned>(ts.fraction));
                int len = 9;
                while (len > 3 && f[len - 1] == '0') --len;
                f[len] = 0;
                n += std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), ".%s", f);
            }
            return sqlite3_bind_text(st, index, buf, n, SQLITE_TRANSIENT);
        }
        default:
            state = "S1003";
            return -1;
    }
}

}  // namespace ruva::sqlite

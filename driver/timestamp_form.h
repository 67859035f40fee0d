// The driver's 8-byte timestamp form (a signed 64-bit count of microseconds
// since 1970-01-01 00:00:00 UTC) and the timestamp text of the data sources.
//
// Text read:   YYYY-MM-DD[( |T)HH:MM[:SS[.fraction]]][zone][ BC]
//              zone: Z, or +HH, +HH:MM, +HHMM, +HH:MM:SS (or -), possibly
//              after a space; text without a zone is UTC. "infinity" and
//              "-infinity" (PostgreSQL) are the largest and smallest values.
//              Digits of the fraction beyond microseconds are dropped.
// Text written: YYYY-MM-DD HH:MM:SS.ffffff, then "+00" when asked for a zone,
//              then " BC" for years before 1 AD (proleptic Gregorian).
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace ruva::tsform {

inline constexpr int64_t kMicrosPerSecond = 1000000;
inline constexpr int64_t kMicrosPerDay = 86400 * kMicrosPerSecond;
inline constexpr int64_t kInfinity = std::numeric_limits<int64_t>::max();
inline constexpr int64_t kMinusInfinity = std::numeric_limits<int64_t>::min();

// Days since 1970-01-01 of a proleptic Gregorian date (year 0 = 1 BC).
inline int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

inline void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

inline bool isLeap(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

inline unsigned daysInMonth(int64_t y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

namespace detail {

struct Cursor {
    const char* p;
    const char* end;
    bool atEnd() const { return p >= end; }
    bool peek(char c) const { return p < end && *p == c; }
    bool digit() const { return p < end && std::isdigit(static_cast<unsigned char>(*p)); }
    bool take(char c) {
        if (!peek(c)) return false;
        ++p;
        return true;
    }
    void skipSpaces() {
        while (p < end && *p == ' ') ++p;
    }
    // Exactly `n` digits, or 1..max digits when n is 0.
    bool number(int n, int64_t& out, int max = 0) {
        out = 0;
        int count = 0;
        int limit = n ? n : max;
        while (count < limit && digit()) {
            out = out * 10 + (*p++ - '0');
            ++count;
        }
        return n ? count == n : count > 0;
    }
};

inline bool equalsNoCase(const char* a, size_t n, const char* b) {
    if (std::strlen(b) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

}  // namespace detail

// Parses timestamp text into the 8-byte form. False when the text is not a
// timestamp or lies outside what 64 bits of microseconds hold.
inline bool parse(const char* text, size_t len, int64_t& out) {
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\0')) --len;
    while (len > 0 && *text == ' ') ++text, --len;
    if (detail::equalsNoCase(text, len, "infinity") || detail::equalsNoCase(text, len, "+infinity")) {
        out = kInfinity;
        return true;
    }
    if (detail::equalsNoCase(text, len, "-infinity")) {
        out = kMinusInfinity;
        return true;
    }
    detail::Cursor c{text, text + len};
    int64_t year, month, day, hour = 0, minute = 0, second = 0, micros = 0;
    if (!c.number(0, year, 6) || !c.take('-') || !c.number(2, month) || !c.take('-') || !c.number(2, day))
        return false;
    if (c.peek(' ') || c.peek('T')) {
        const char* save = c.p;
        ++c.p;
        if (c.digit()) {
            if (!c.number(2, hour) || !c.take(':') || !c.number(2, minute)) return false;
            if (c.take(':')) {
                if (!c.number(2, second)) return false;
                if (c.take('.')) {
                    int digits = 0;
                    while (c.digit()) {
                        if (digits < 6) micros = micros * 10 + (*c.p - '0');
                        ++digits;
                        ++c.p;
                    }
                    if (digits == 0) return false;
                    for (; digits < 6; ++digits) micros *= 10;
                }
            }
        } else {
            c.p = save;
        }
    }
    int64_t offsetSeconds = 0;
    c.skipSpaces();
    if (c.take('Z') || c.take('z')) {
    } else if (c.peek('+') || c.peek('-')) {
        int sign = *c.p++ == '-' ? -1 : 1;
        int64_t oh, om = 0, os = 0;
        if (!c.number(2, oh)) return false;
        if (c.take(':')) {
            if (!c.number(2, om)) return false;
            if (c.take(':') && !c.number(2, os)) return false;
        } else if (c.digit()) {
            if (!c.number(2, om)) return false;
        }
        if (oh > 15 || om > 59 || os > 59) return false;
        offsetSeconds = sign * (oh * 3600 + om * 60 + os);
    }
    c.skipSpaces();
    if (c.p + 2 <= c.end && detail::equalsNoCase(c.p, 2, "bc")) {
        c.p += 2;
        if (year < 1) return false;
        year = 1 - year;
    }
    if (!c.atEnd()) return false;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, static_cast<unsigned>(month))) return false;
    // 24:00:00 is accepted as the end of the day (PostgreSQL writes it).
    if (hour > 24 || minute > 59 || second > 60 || (hour == 24 && (minute || second || micros))) return false;
    __int128 v =
        static_cast<__int128>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))) *
            kMicrosPerDay +
        static_cast<__int128>(hour * 3600 + minute * 60 + second - offsetSeconds) * kMicrosPerSecond + micros;
    // The two extremes stand for the infinities.
    if (v >= kInfinity || v <= kMinusInfinity) return false;
    out = static_cast<int64_t>(v);
    return true;
}

inline constexpr size_t kTextBytes = 48;  // room for every value, with zone and era

// Writes the text of a value (NUL-terminated) and returns its length.
inline size_t format(int64_t value, bool withZone, char (&out)[kTextBytes]) {
    if (value == kInfinity) return static_cast<size_t>(std::snprintf(out, sizeof out, "infinity"));
    if (value == kMinusInfinity) return static_cast<size_t>(std::snprintf(out, sizeof out, "-infinity"));
    int64_t days = value / kMicrosPerDay;
    int64_t rest = value % kMicrosPerDay;
    if (rest < 0) {
        rest += kMicrosPerDay;
        --days;
    }
    int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    const bool bc = y < 1;
    const int64_t shownYear = bc ? 1 - y : y;
    const int64_t secs = rest / kMicrosPerSecond;
    const int64_t micros = rest % kMicrosPerSecond;
    int n = std::snprintf(out, sizeof out, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%06lld%s%s",
                          static_cast<long long>(shownYear), m, d, static_cast<long long>(secs / 3600),
                          static_cast<long long>(secs / 60 % 60), static_cast<long long>(secs % 60),
                          static_cast<long long>(micros), withZone ? "+00" : "", bc ? " BC" : "");
    return n < 0 ? 0 : static_cast<size_t>(n);
}

}  // namespace ruva::tsform

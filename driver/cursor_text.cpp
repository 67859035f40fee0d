// Whether a statement's text is one query that a cursor may read (see
// cursor_text.h).
#include "cursor_text.h"

#include <cctype>
#include <cstring>

namespace ruva {
namespace {

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

bool sameWord(const char* a, size_t len, const char* upper) {
    if (std::strlen(upper) != len) return false;
    for (size_t i = 0; i < len; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != upper[i]) return false;
    return true;
}

}  // namespace

// The end of the literal, quoted name, comment or dollar-quoted text that
// starts at `i`, or `i` when none starts there.
size_t skipQuoted(const char* sql, size_t n, size_t i) {
    const char ch = sql[i];
    if (ch == '\'' || ch == '"') {
        // 'text' ('' inside), E'text' (backslash escapes), "name".
        const bool escapes = ch == '\'' && i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e');
        size_t j = i + 1;
        while (j < n) {
            if (escapes && sql[j] == '\\' && j + 1 < n) {
                j += 2;
                continue;
            }
            if (sql[j] == ch) {
                if (j + 1 < n && sql[j + 1] == ch) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (ch == '-' && i + 1 < n && sql[i + 1] == '-') {
        while (i < n && sql[i] != '\n') ++i;
        return i;
    }
    if (ch == '/' && i + 1 < n && sql[i + 1] == '*') {
        size_t j = i + 2;
        int depth = 1;
        while (j < n && depth > 0) {
            if (sql[j] == '/' && j + 1 < n && sql[j + 1] == '*') {
                ++depth;
                j += 2;
            } else if (sql[j] == '*' && j + 1 < n && sql[j + 1] == '/') {
                --depth;
                j += 2;
            } else {
                ++j;
            }
        }
        return j;
    }
    if (ch == '$' && (i == 0 || !isWordChar(sql[i - 1]))) {
        // $tag$ ... $tag$ (a $1 parameter is no quote).
        size_t j = i + 1;
        while (j < n && (std::isalpha(static_cast<unsigned char>(sql[j])) || sql[j] == '_' ||
                         (j > i + 1 && std::isdigit(static_cast<unsigned char>(sql[j])))))
            ++j;
        if (j < n && sql[j] == '$') {
            const std::string tag(sql + i, j - i + 1);
            const char* close = nullptr;
            for (size_t k = j + 1; k + tag.size() <= n; ++k)
                if (std::memcmp(sql + k, tag.data(), tag.size()) == 0) {
                    close = sql + k;
                    break;
                }
            return close ? static_cast<size_t>(close - sql) + tag.size() : n;
        }
    }
    return i;
}

bool cursorQuery(const char* sql, size_t len, std::string& query) {
    size_t end = len;  // the query ends at its first ';'
    bool first = true, locking = false;
    const char* previous = nullptr;
    size_t previousLen = 0;
    for (size_t i = 0; i < len;) {
        const size_t skipped = skipQuoted(sql, len, i);
        if (skipped != i) {
            const bool comment = sql[i] == '-' || sql[i] == '/';
            // A literal before the first word, or text after the ';'.
            if (!comment && (first || end != len)) return false;
            i = skipped;
            continue;
        }
        const char ch = sql[i];
        if (std::isspace(static_cast<unsigned char>(ch))) {
            ++i;
            continue;
        }
        if (end != len) {
            if (ch != ';') return false;  // a second statement
            ++i;
            continue;
        }
        if (ch == ';') {
            end = i++;
            continue;
        }
        if (!isWordChar(ch) || std::isdigit(static_cast<unsigned char>(ch))) {
            if (first && ch != '(') return false;  // an ODBC escape ({call ...}), ...
            if (isWordChar(ch))
                while (i < len && isWordChar(sql[i])) ++i;  // a number
            else
                ++i;
            continue;
        }
        size_t j = i;
        while (j < len && isWordChar(sql[j])) ++j;
        const char* w = sql + i;
        const size_t n = j - i;
        if (first) {
            if (!sameWord(w, n, "SELECT") && !sameWord(w, n, "VALUES") && !sameWord(w, n, "TABLE") &&
                !sameWord(w, n, "WITH"))
                return false;
            first = false;
        }
        if (sameWord(w, n, "INSERT") || sameWord(w, n, "UPDATE") || sameWord(w, n, "DELETE") ||
            sameWord(w, n, "MERGE") || sameWord(w, n, "INTO"))
            return false;
        // FOR SHARE, FOR KEY SHARE (FOR [NO KEY] UPDATE is refused above).
        if (sameWord(w, n, "SHARE") && previous &&
            (sameWord(previous, previousLen, "FOR") || sameWord(previous, previousLen, "KEY")))
            locking = true;
        previous = w;
        previousLen = n;
        i = j;
    }
    if (first || locking) return false;
    size_t b = 0;
    while (b < end && std::isspace(static_cast<unsigned char>(sql[b]))) ++b;
    size_t e = end;
    while (e > b && std::isspace(static_cast<unsigned char>(sql[e - 1]))) --e;
    query.assign(sql + b, e - b);
    return true;
}

}  // namespace ruva

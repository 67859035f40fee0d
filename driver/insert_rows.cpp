#include "insert_rows.h"

#include <cctype>

namespace ruva {
namespace {

class Scanner {
public:
    Scanner(const char* p, size_t n) : p_(p), n_(n) {}
    bool end() const { return i_ >= n_; }
    char peek() const { return end() ? '\0' : p_[i_]; }
    size_t pos() const { return i_; }
    static bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
    // Skips whitespace; true when there was some.
    bool skipSpace() {
        size_t start = i_;
        while (!end() && space(p_[i_])) ++i_;
        return i_ > start;
    }
    bool take(char c) {
        if (peek() != c) return false;
        ++i_;
        return true;
    }
    // A keyword, case-insensitive, not followed by an identifier character.
    bool keyword(const char* k) {
        size_t j = i_;
        for (; *k; ++k, ++j)
            if (j >= n_ || std::toupper(static_cast<unsigned char>(p_[j])) != *k) return false;
        if (j < n_ && identChar(p_[j])) return false;
        i_ = j;
        return true;
    }
    static bool identStart(char c) {
        const auto u = static_cast<unsigned char>(c);
        return std::isalpha(u) || c == '_' || u >= 0x80;
    }
    static bool identChar(char c) { return identStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$'; }
    // A plain identifier, or a double-quoted one ("" stands for a quote).
    bool identifier() {
        if (take('"')) {
            size_t start = i_;
            for (;;) {
                if (end()) return false;
                if (p_[i_] == '"') {
                    if (i_ + 1 < n_ && p_[i_ + 1] == '"') {
                        i_ += 2;
                        continue;
                    }
                    ++i_;
                    return i_ - 1 > start;
                }
                if (p_[i_] == '\0') return false;
                ++i_;
            }
        }
        if (!identStart(peek())) return false;
        while (!end() && identChar(p_[i_])) ++i_;
        return true;
    }
    // name or schema.name (any number of parts).
    bool qualifiedName() {
        if (!identifier()) return false;
        while (take('.'))
            if (!identifier()) return false;
        return true;
    }

private:
    const char* p_;
    size_t n_;
    size_t i_ = 0;
};

}  // namespace

bool parsePlainInsert(const char* sql, size_t len, InsertShape& out) {
    if (!sql) return false;
    Scanner s(sql, len);
    s.skipSpace();
    if (!s.keyword("INSERT") || !s.skipSpace() || !s.keyword("INTO") || !s.skipSpace()) return false;
    if (!s.qualifiedName()) return false;
    s.skipSpace();
    if (s.take('(')) {
        do {
            s.skipSpace();
            if (!s.identifier()) return false;
            s.skipSpace();
        } while (s.take(','));
        if (!s.take(')')) return false;
        s.skipSpace();
    }
    if (!s.keyword("VALUES")) return false;
    const size_t headEnd = s.pos();
    s.skipSpace();
    if (!s.take('(')) return false;
    int markers = 0;
    do {
        s.skipSpace();
        if (!s.take('?')) return false;
        ++markers;
        s.skipSpace();
    } while (s.take(','));
    if (!s.take(')')) return false;
    s.skipSpace();
    if (s.take(';')) s.skipSpace();
    if (!s.end()) return false;
    out.head.assign(sql, headEnd);
    out.markers = markers;
    return true;
}

std::string multiRowText(const InsertShape& shape, size_t rows) {
    std::string row = "(";
    for (int m = 0; m < shape.markers; ++m) row += m ? ",?" : "?";
    row += ")";
    std::string text = shape.head;
    text.reserve(text.size() + rows * (row.size() + 1) + 1);
    for (size_t r = 0; r < rows; ++r) {
        text += r ? "," : " ";
        text += row;
    }
    return text;
}

}  // namespace ruva

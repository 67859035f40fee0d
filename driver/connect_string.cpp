#include "connect_string.h"

#include <dlfcn.h>

#include <cctype>
#include <cstring>
#include <mutex>

namespace ruva::connstr {
namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

bool listed(const char* const* keys, std::string_view key) {
    for (; keys && *keys; ++keys)
        if (equalsNoCase(key, *keys)) return true;
    return false;
}

bool blankAtAnEnd(std::string_view v) {
    return !v.empty() && (std::isspace(static_cast<unsigned char>(v.front())) ||
                          std::isspace(static_cast<unsigned char>(v.back())));
}

// What a driver reads. One row per driver kind; Generic is ODBC's own syntax.
struct Default {
    const char* const* keys;  // the first is the one written; any of them in the string leaves it out
    const char* value;
};

struct Rules {
    Kind kind;
    const char* name;                   // in messages
    const char* const* filePrefixes;    // of the shared object's file name
    bool readsBraces;                   // false: no value may need them
    const char* const* keptBracesKeys;  // values the driver reads with their braces on
    const char* keptBracesChars;        // what makes such a value unreadable
    const char* const* droppedKeys;     // never forwarded
    const Default* defaults;            // added unless named; ends with {nullptr, nullptr}
};

const char* const kSqlitePrefixes[] = {"libsqlite3odbc", "libsqliteodbc", nullptr};
const char* const kPsqlPrefixes[] = {"psqlodbc", nullptr};
const char* const kMariadbPrefixes[] = {"libmaodbc", nullptr};
const char* const kCredentialKeys[] = {"UID", "PWD", nullptr};
// psqlODBC takes the braces off PWD and Password only; UID and Username
// reach the server with them (tried: the role {bo;b}).
const char* const kPsqlUserKeys[] = {"UID", "Username", nullptr};
// psqlODBC's Debug writes every call, the password among them, into a file
// in /tmp; CommLog a log per process there (Debian's odbcinst.ini turns it
// on for its registered drivers). B2 and B3 are their short names.
const char* const kPsqlDebug[] = {"Debug", "B2", nullptr};
const char* const kPsqlCommLog[] = {"CommLog", "B3", nullptr};
const Default kPsqlDefaults[] = {{kPsqlDebug, "0"}, {kPsqlCommLog, "0"}, {nullptr, nullptr}};
const Default kNoDefaults[] = {{nullptr, nullptr}};
// libruva70 reads MariaDB's text as UTF-8 (mariadb.cpp): the connection's
// character set is utf8mb4 whatever the string or the DSN says.
const char* const kMariadbCharset[] = {"CHARSET", nullptr};
const Default kMariadbDefaults[] = {{kMariadbCharset, "utf8mb4"}, {nullptr, nullptr}};

const Rules kRules[] = {
    // The SQLite ODBC driver splits its string at every ';' and reads no
    // braces; SQLite has no users, so UID and PWD are not forwarded.
    {Kind::SQLite, "the SQLite ODBC driver", kSqlitePrefixes, false, nullptr, nullptr, kCredentialKeys, kNoDefaults},
    {Kind::Psqlodbc, "psqlODBC", kPsqlPrefixes, true, kPsqlUserKeys, ";{}", nullptr, kPsqlDefaults},
    // MariaDB Connector/ODBC takes the braces off every value and reads }}
    // as } (tried with a user and a password holding ; and }), so a value in
    // braces stays one value: its PLUGIN_DIR, DEFAULT_AUTH, INITSTMT, OPTION
    // (options files) and SSL file names come from the string itself only.
    {Kind::MariaDB, "MariaDB Connector/ODBC", kMariadbPrefixes, true, nullptr, nullptr, kMariadbCharset,
     kMariadbDefaults},
    {Kind::Generic, "the ODBC driver", nullptr, true, nullptr, nullptr, nullptr, kNoDefaults},
};

const Rules& rulesOf(Kind kind) {
    for (const Rules& r : kRules)
        if (r.kind == kind) return r;
    return kRules[sizeof kRules / sizeof kRules[0] - 1];
}

bool needsBraces(std::string_view v) {
    return v.find_first_of(";{}=") != std::string_view::npos || blankAtAnEnd(v);
}

void append(std::string& out, std::string_view key, std::string_view value, bool braced) {
    out.append(key);
    out.push_back('=');
    if (braced) {
        out.push_back('{');
        for (char c : value) {
            out.push_back(c);
            if (c == '}') out.push_back('}');
        }
        out.push_back('}');
    } else {
        out.append(value);
    }
    out.push_back(';');
}

using GetProfile = int (*)(const char* section, const char* entry, const char* fallback, char* out, int size,
                           const char* file);

// unixODBC's reader of odbc.ini and odbcinst.ini (which also knows ODBCINI,
// ODBCSYSINI and the user's ~/.odbc.ini), from its own library, loaded once
// and kept.
GetProfile profileReader() {
    static GetProfile reader = [] {
        void* lib = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL);
        return lib ? reinterpret_cast<GetProfile>(dlsym(lib, "SQLGetPrivateProfileString")) : nullptr;
    }();
    return reader;
}

std::string driverEntry(const std::string& section, const char* file) {
    GetProfile read = profileReader();
    if (!read || section.empty()) return {};
    char value[1024] = {};
    const int n = read(section.c_str(), "Driver", "", value, sizeof value, file);
    return n > 0 ? std::string(value) : std::string();
}

const std::string* valueOf(const std::vector<Attribute>& attrs, const char* key) {
    for (const Attribute& a : attrs)
        if (equalsNoCase(a.key, key)) return &a.value;
    return nullptr;
}

}  // namespace

bool parse(std::string_view text, std::vector<Attribute>& out, std::string& problem) {
    out.clear();
    if (text.find('\0') != std::string_view::npos) {
        problem = "the connection string holds a zero byte";
        return false;
    }
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t eq = text.find_first_of("=;", pos);
        if (eq == std::string_view::npos || text[eq] == ';') {
            const std::string_view part = text.substr(pos, eq == std::string_view::npos ? eq : eq - pos);
            if (part.find_first_not_of(" \t") != std::string_view::npos) {
                problem = "the connection string has a part without '='";
                return false;
            }
            if (eq == std::string_view::npos) break;
            pos = eq + 1;
            continue;
        }
        Attribute a;
        std::string_view key = text.substr(pos, eq - pos);
        const size_t first = key.find_first_not_of(" \t");
        const size_t last = key.find_last_not_of(" \t");
        key = first == std::string_view::npos ? std::string_view() : key.substr(first, last - first + 1);
        a.key = std::string(key);
        size_t i = eq + 1;
        // Blanks before a brace do not count; the value in braces runs to the
        // first } that is not doubled.
        size_t v = i;
        while (v < text.size() && (text[v] == ' ' || text[v] == '\t')) ++v;
        if (v < text.size() && text[v] == '{') {
            size_t j = v + 1;
            bool closed = false;
            while (j < text.size()) {
                if (text[j] == '}') {
                    if (j + 1 < text.size() && text[j + 1] == '}') {
                        a.value.push_back('}');
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                a.value.push_back(text[j++]);
            }
            if (!closed) {
                problem = "the value of " + a.key + " has a { that is never closed";
                return false;
            }
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
            if (j < text.size() && text[j] != ';') {
                problem = "the value of " + a.key + " goes on after its closing }";
                return false;
            }
            pos = j < text.size() ? j + 1 : j;
        } else {
            const size_t end = text.find(';', i);
            a.value = std::string(text.substr(i, end == std::string_view::npos ? end : end - i));
            pos = end == std::string_view::npos ? text.size() : end + 1;
        }
        if (a.key.empty()) {
            problem = "the connection string has an attribute without a name";
            return false;
        }
        out.push_back(std::move(a));
    }
    return true;
}

bool namesDriver(const std::vector<Attribute>& attrs) {
    for (const Attribute& a : attrs)
        if (equalsNoCase(a.key, "DRIVER") || equalsNoCase(a.key, "DSN") || equalsNoCase(a.key, "FILEDSN"))
            return true;
    return false;
}

Kind classify(std::string_view driverFile) {
    const size_t slash = driverFile.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? driverFile : driverFile.substr(slash + 1);
    for (const Rules& r : kRules)
        for (const char* const* p = r.filePrefixes; p && *p; ++p)
            if (startsWithNoCase(name, *p)) return r.kind;
    return Kind::Generic;
}

std::string driverFile(const std::vector<Attribute>& attrs) {
    std::string driver;
    if (const std::string* d = valueOf(attrs, "DRIVER")) {
        driver = *d;
    } else if (valueOf(attrs, "FILEDSN")) {
        return {};
    } else {
        const std::string* dsn = valueOf(attrs, "DSN");
        driver = driverEntry(dsn && !dsn->empty() ? *dsn : "Default", "odbc.ini");
    }
    if (driver.empty() || driver.find('/') != std::string::npos) return driver;
    // A registered driver's name: its shared object in odbcinst.ini.
    return driverEntry(driver, "odbcinst.ini");
}

Outcome rebuild(const std::vector<Attribute>& attrs, Kind kind) {
    const Rules& rules = rulesOf(kind);
    Outcome o;
    std::vector<const Attribute*> seen;
    auto refuse = [&](const Attribute& a, const char* why) {
        o.ok = false;
        o.state = listed(kCredentialKeys, a.key) || listed(kPsqlUserKeys, a.key) ? "28000" : "08001";
        o.message = std::string("the value of ") + a.key + " " + why + " (" + rules.name +
                    " would not read it as one value); the connection is refused";
        o.text.clear();
    };
    for (const Attribute& a : attrs) {
        bool repeated = false;
        for (const Attribute* s : seen) repeated = repeated || equalsNoCase(s->key, a.key);
        if (repeated) continue;  // the first of an attribute counts
        seen.push_back(&a);
        if (listed(rules.droppedKeys, a.key)) continue;
        if (!rules.readsBraces) {
            if (needsBraces(a.value)) {
                refuse(a, "holds ; { } = or blanks at an end");
                return o;
            }
            append(o.text, a.key, a.value, false);
        } else if (listed(rules.keptBracesKeys, a.key)) {
            if (a.value.find_first_of(rules.keptBracesChars) != std::string::npos) {
                refuse(a, "holds ; { or }");
                return o;
            }
            append(o.text, a.key, a.value, false);
        } else {
            append(o.text, a.key, a.value, needsBraces(a.value) || a.value.empty());
        }
    }
    for (const Default* d = rules.defaults; d && d->keys; ++d) {
        bool named = false;
        // A dropped attribute does not name it.
        for (const Attribute& a : attrs)
            named = named || (listed(d->keys, a.key) && !listed(rules.droppedKeys, a.key));
        if (!named) append(o.text, d->keys[0], d->value, false);
    }
    return o;
}

}  // namespace ruva::connstr

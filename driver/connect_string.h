// Connection strings as each ODBC driver reads them. A connect's string is
// parsed with ODBC's full syntax (a value in braces may hold ; and =, a } in
// it doubled), the ODBC driver it leads to is found before connecting, and
// the string is written anew the way that driver parses it. A value the
// driver cannot read as one value (it has no braces, or not for that
// attribute) is refused instead of passed on, so no user name, password or
// file name can add an attribute of its own (an extension to load, a trace
// file to write). What each driver reads is one table in connect_string.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ruva::connstr {

struct Attribute {
    std::string key;    // as written, blanks around it removed
    std::string value;  // braces taken off, }} read as }
};

// The attributes of a connection string, in order. False (with `problem`
// set) for a brace that is never closed or a part without '='. Empty parts
// (;;) are skipped.
bool parse(std::string_view text, std::vector<Attribute>& out, std::string& problem);

// Whether a parsed connection string names an ODBC driver or data source
// (Driver, DSN or FILEDSN): one that names none is served by libruva70's own
// SQLite engine.
bool namesDriver(const std::vector<Attribute>& attrs);

// The ODBC drivers whose connection-string parser libruva70 knows.
enum class Kind { Generic, SQLite, Psqlodbc, MariaDB };

// The kind of driver a shared object is, by its file name.
Kind classify(std::string_view driverFile);

// The shared object a parsed connection string leads to: a Driver attribute
// that is a path, a registered driver's Driver entry in odbcinst.ini, or a
// data source's Driver entry in odbc.ini (then as before). Empty when it
// cannot be told (no such data source, or unixODBC's odbcinst library
// missing).
std::string driverFile(const std::vector<Attribute>& attrs);

struct Outcome {
    bool ok = true;
    const char* state = nullptr;  // on refusal: "08001" or "28000"
    std::string message;          // on refusal: names the attribute, never the value
    std::string text;             // the string for the driver when ok
};

// The string for a driver of `kind`: the first of each attribute (keys
// without regard to case, as ODBC has it), written as that driver reads them.
Outcome rebuild(const std::vector<Attribute>& attrs, Kind kind);

}  // namespace ruva::connstr

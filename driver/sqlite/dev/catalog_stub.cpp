// Stand-ins for catalog.h's functions, linked only while driver/sqlite/
// catalog.cpp is not in the tree: statements run with their text as given,
// catalog functions answer empty results, SQLGetInfo answers nothing.
#include "../catalog.h"

#include <cstring>

namespace ruva::sqlite {

namespace {
CatalogQuery empty() {
    return {"SELECT NULL AS TABLE_CAT WHERE 0", {}, {{"TABLE_CAT", SQL_VARCHAR, 128}}};
}
}  // namespace

CatalogQuery tables(const Arg&, const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery columns(const Arg&, const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery statistics(const Arg&, const Arg&, const Arg&, SQLUSMALLINT, SQLUSMALLINT) {
    return empty();
}
CatalogQuery primaryKeys(const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery foreignKeys(const Arg&, const Arg&, const Arg&, const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery specialColumns(SQLUSMALLINT, const Arg&, const Arg&, const Arg&, SQLUSMALLINT, SQLUSMALLINT) {
    return empty();
}
CatalogQuery procedures(const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery procedureColumns(const Arg&, const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery tablePrivileges(const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery columnPrivileges(const Arg&, const Arg&, const Arg&, const Arg&) {
    return empty();
}
CatalogQuery typeInfo(SQLSMALLINT) {
    return empty();
}

SQLRETURN getInfo(const InfoContext&, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*, std::string& state,
                  std::string& message) {
    state = "S1096";
    message = "not answered yet";
    return SQL_ERROR;
}

bool translateEscapes(std::string_view sql, std::string& out, std::string&) {
    out.assign(sql);
    return true;
}

int countMarkers(std::string_view sql) {
    int n = 0;
    for (char c : sql) n += c == '?';
    return n;
}

}  // namespace ruva::sqlite

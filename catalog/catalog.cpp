// The catalog functions. Each pins errorCode and its optional strings in
// argument order, runs one ODBC catalog function on the statement, and
// leaves the result set there for the ordinary retrieval calls.
#include "qvjdbc/codes.h"
#include "qvjdbc/driver.h"
#include "qvjdbc/frame.h"
#include "qvjdbc/jni_exports.h"
#include "qvjdbc/jni_util.h"

#include <cstddef>
#include <initializer_list>

using qv::drv;
using qv::Frame;

namespace {

// A catalog name or pattern as Java sends it: the bytes, and a flag that
// marks the string as null (the array is then not touched).
struct OptionalText {
    jbyteArray bytes;
    jboolean isNull;
};

// Pins errorCode, then each non-null string in order, into `out` (a null
// string stays a null pointer, so a null and an empty string stay distinct).
// Returns false when the call must end without the catalog function: a
// failed pin (the JVM's exception pending), or a string that is null while
// its flag says it is not, or that lacks its terminating zero byte within
// the array (refused with SQL_ERROR and -97, so the driver never reads past
// the array).
bool pinStrings(Frame& f, jbyteArray errorCode, std::initializer_list<OptionalText> in, SQLCHAR** out) {
    if (!f.errorCode(errorCode)) return false;
    std::size_t i = 0;
    for (const OptionalText& s : in) {
        out[i] = nullptr;
        if (!s.isNull) {
            jbyte* p = f.bytes(s.bytes);
            if (!p) {
                if (f.nullArgument()) f.refuseNull();
                return false;
            }
            if (!qv::terminatedText(f.env(), s.bytes, p)) {
                f.refuseNull();
                return false;
            }
            out[i] = reinterpret_cast<SQLCHAR*>(p);
        }
        ++i;
    }
    return true;
}

SQLUSMALLINT truth(jint v, SQLUSMALLINT ifTrue, SQLUSMALLINT ifFalse) {
    return v != 0 ? ifTrue : ifFalse;
}

}  // namespace

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_tables(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                             jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                             jbyteArray table, jboolean tableNull, jbyteArray tableTypes,
                                             jboolean tableTypesNull, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[4];
    if (!pinStrings(f, errorCode,
                    {{catalog, catalogNull}, {schema, schemaNull}, {table, tableNull}, {tableTypes, tableTypesNull}},
                    s))
        return;
    f.store(drv.SQLTables(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS, s[3], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_columns(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                              jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                              jbyteArray table, jboolean tableNull, jbyteArray columnName,
                                              jboolean columnNameNull, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[4];
    if (!pinStrings(f, errorCode,
                    {{catalog, catalogNull}, {schema, schemaNull}, {table, tableNull}, {columnName, columnNameNull}},
                    s))
        return;
    f.store(drv.SQLColumns(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS, s[3], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_columnPrivileges(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                                       jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                                       jbyteArray table, jboolean tableNull, jbyteArray columnName,
                                                       jboolean columnNameNull, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[4];
    if (!pinStrings(f, errorCode,
                    {{catalog, catalogNull}, {schema, schemaNull}, {table, tableNull}, {columnName, columnNameNull}},
                    s))
        return;
    f.store(drv.SQLColumnPrivileges(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS, s[3], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_tablePrivileges(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                                      jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                                      jbyteArray table, jboolean tableNull, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[3];
    if (!pinStrings(f, errorCode, {{catalog, catalogNull}, {schema, schemaNull}, {table, tableNull}}, s)) return;
    f.store(drv.SQLTablePrivileges(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_primaryKeys(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                                  jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                                  jbyteArray table, jboolean tableNull, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[3];
    if (!pinStrings(f, errorCode, {{catalog, catalogNull}, {schema, schemaNull}, {table, tableNull}}, s)) return;
    f.store(drv.SQLPrimaryKeys(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_foreignKeys(JNIEnv* env, jobject, jint hStmt, jbyteArray pkCatalog,
                                                  jboolean pkCatalogNull, jbyteArray pkSchema, jboolean pkSchemaNull,
                                                  jbyteArray pkTable, jboolean pkTableNull, jbyteArray fkCatalog,
                                                  jboolean fkCatalogNull, jbyteArray fkSchema, jboolean fkSchemaNull,
                                                  jbyteArray fkTable, jboolean fkTableNull, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[6];
    if (!pinStrings(f, errorCode,
                    {{pkCatalog, pkCatalogNull},
                     {pkSchema, pkSchemaNull},
                     {pkTable, pkTableNull},
                     {fkCatalog, fkCatalogNull},
                     {fkSchema, fkSchemaNull},
                     {fkTable, fkTableNull}},
                    s))
        return;
    f.store(drv.SQLForeignKeys(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS, s[3], SQL_NTS, s[4],
                               SQL_NTS, s[5], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_procedures(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                                 jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                                 jbyteArray procedure, jboolean procedureNull, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[3];
    if (!pinStrings(f, errorCode, {{catalog, catalogNull}, {schema, schemaNull}, {procedure, procedureNull}}, s))
        return;
    f.store(drv.SQLProcedures(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_procedureColumns(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                                       jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                                       jbyteArray procedure, jboolean procedureNull,
                                                       jbyteArray columnName, jboolean columnNameNull,
                                                       jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[4];
    if (!pinStrings(
            f, errorCode,
            {{catalog, catalogNull}, {schema, schemaNull}, {procedure, procedureNull}, {columnName, columnNameNull}},
            s))
        return;
    f.store(drv.SQLProcedureColumns(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS, s[3], SQL_NTS));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_specialColumns(JNIEnv* env, jobject, jint hStmt, jint identifierType,
                                                     jbyteArray catalog, jboolean catalogNull, jbyteArray schema,
                                                     jboolean schemaNull, jbyteArray table, jboolean tableNull,
                                                     jint scope, jint nullable, jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[3];
    if (!pinStrings(f, errorCode, {{catalog, catalogNull}, {schema, schemaNull}, {table, tableNull}}, s)) return;
    f.store(drv.SQLSpecialColumns(qv::hstmt(hStmt), qv::uword(identifierType), s[0], SQL_NTS, s[1], SQL_NTS, s[2],
                                  SQL_NTS, qv::uword(scope), truth(nullable, SQL_NULLABLE, SQL_NO_NULLS)));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_statistics(JNIEnv* env, jobject, jint hStmt, jbyteArray catalog,
                                                 jboolean catalogNull, jbyteArray schema, jboolean schemaNull,
                                                 jbyteArray table, jboolean tableNull, jint unique, jint approximate,
                                                 jbyteArray errorCode) {
    Frame f(env);
    SQLCHAR* s[3];
    if (!pinStrings(f, errorCode, {{catalog, catalogNull}, {schema, schemaNull}, {table, tableNull}}, s)) return;
    f.store(drv.SQLStatistics(qv::hstmt(hStmt), s[0], SQL_NTS, s[1], SQL_NTS, s[2], SQL_NTS,
                              truth(unique, SQL_INDEX_UNIQUE, SQL_INDEX_ALL),
                              truth(approximate, SQL_QUICK, SQL_ENSURE)));
}

QV_ENTRY(void)
Java_com_quorvane_jdbc_JdbcOdbcClient_getTypeInfo(JNIEnv* env, jobject, jint hStmt, jint sqlType,
                                                  jbyteArray errorCode) {
    Frame f(env);
    if (!f.errorCode(errorCode)) return;
    f.store(drv.SQLGetTypeInfo(qv::hstmt(hStmt), qv::sword(sqlType)));
}

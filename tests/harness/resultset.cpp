#include "resultset.h"

#include "jcall.h"

#include <cinttypes>
#include <cstdio>

namespace qvt {
namespace {

std::string utf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::optional<std::string> readColumn(jint boundCols, int column, jint cType, jint length, jobject col) {
    JNIEnv* e = env();
    jclass colClass = e->GetObjectClass(col);
    auto boolField = [&](const char* name) { return e->GetBooleanField(col, e->GetFieldID(colClass, name, "Z")); };
    if (boolField("hasCachedValue") && boolField("cachedNull")) return std::nullopt;
    jbyteArray ec = errorCode(0, 0);
    char buf[64];
    std::optional<std::string> value;
    switch (cType) {
        case SQL_C_SSHORT:
            value = std::to_string(JC(getShort, boundCols, ec, column));
            break;
        case SQL_C_SLONG:
            value = std::to_string(JC(getInteger, boundCols, ec, column));
            break;
        case SQL_C_SBIGINT:
            value = std::to_string(JC(getLong, boundCols, ec, column));
            break;
        case SQL_C_FLOAT:
            std::snprintf(buf, sizeof buf, "%.9g", JC(getFloat, boundCols, ec, column));
            value = buf;
            break;
        case SQL_C_DOUBLE:
            std::snprintf(buf, sizeof buf, "%.17g", JC(getDouble, boundCols, ec, column));
            value = buf;
            break;
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            jobject retVal = newObject("com/quorvane/jdbc/RetVal");
            JC(getString, boundCols, column, retVal, cType);
            jclass rv = e->GetObjectClass(retVal);
            if (e->GetByteField(retVal, e->GetFieldID(rv, "err1", "B")) == -1) return std::nullopt;
            auto s = static_cast<jstring>(e->GetObjectField(retVal, e->GetFieldID(rv, "obj", "Ljava/lang/Object;")));
            value = s ? utf8(read(s)) : std::string("<no string>");
            break;
        }
        case SQL_C_BINARY: {
            jbyteArray b = newBytes(length > 0 ? length : 1);
            JC(getBytes, boundCols, b, ec, column);
            const jint n = JC(getDataLength, boundCols, ec, column);
            std::string hex;
            std::vector<int8_t> v = read(b);
            for (jint i = 0; i < n && i < static_cast<jint>(v.size()); ++i) {
                std::snprintf(buf, sizeof buf, "%02x", static_cast<uint8_t>(v[static_cast<size_t>(i)]));
                hex += buf;
            }
            value = hex;
            break;
        }
        case SQL_C_DATE:
        case SQL_C_TIME:
        case SQL_C_TIMESTAMP: {
            jintArray v = newInts(7);
            if (cType == SQL_C_DATE) JC(getDate, boundCols, ec, column, v);
            if (cType == SQL_C_TIME) JC(getTime, boundCols, ec, column, v);
            if (cType == SQL_C_TIMESTAMP) JC(getTimestamp, boundCols, ec, column, v);
            std::vector<int32_t> f = read(v);
            if (cType == SQL_C_DATE)
                std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", f[0], f[1], f[2]);
            else if (cType == SQL_C_TIME)
                std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", f[0], f[1], f[2]);
            else
                std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%09d", f[0], f[1], f[2], f[3], f[4],
                              f[5], f[6]);
            value = buf;
            break;
        }
        default:
            value = "<c type " + std::to_string(cType) + ">";
    }
    if (at(ec, 1) == -1) return std::nullopt;
    EXPECT_EQ(at(ec, 1), 0) << "column " << column;
    return value;
}

}  // namespace

Rows readThroughEntryPoints(jint hStmt, size_t maxRows) {
    LocalFrame frame(512);
    Rows rows;
    JNIEnv* e = env();
    // The Java class calls initIDs once before any retrieval.
    static const bool cached = [] {
        JC(initIDs);
        return !env()->ExceptionCheck();
    }();
    EXPECT_TRUE(cached) << "initIDs";
    jbyteArray ec = errorCode(0, 0);
    const jint numCols = JC(numResultCols, hStmt, ec);
    EXPECT_EQ(at(ec, 0), 0);
    if (numCols <= 0) return rows;
    jintArray sqlTypes = newInts(numCols), driverTypes = newInts(numCols), lengths = newInts(numCols),
              cTypes = newInts(numCols);
    const jint boundCols = JC(allocAndBindAllCols, 0, hStmt, sqlTypes, driverTypes, lengths, cTypes, ec, numCols);
    EXPECT_NE(boundCols, 0) << "allocAndBindAllCols: " << int(at(ec, 0)) << "/" << int(at(ec, 1));
    if (!boundCols) return rows;
    const std::vector<int32_t> types = read(cTypes), lens = read(lengths);
    jclass colClass = findClass("com/quorvane/jdbc/JdbcOdbcBoundCol");
    jobjectArray cols = e->NewObjectArray(numCols, colClass, nullptr);
    for (jint i = 0; i < numCols; ++i) {
        jobject c = newObject("com/quorvane/jdbc/JdbcOdbcBoundCol");
        e->SetObjectArrayElement(cols, i, c);
        e->DeleteLocalRef(c);
    }
    jmethodID clear = e->GetMethodID(colClass, "clearCache", "()V");
    while (rows.size() < maxRows) {
        for (jint i = 0; i < numCols; ++i) {
            jobject c = e->GetObjectArrayElement(cols, i);
            e->CallVoidMethod(c, clear);
            EXPECT_FALSE(e->ExceptionCheck());
            e->DeleteLocalRef(c);
        }
        const jint rc = JC(fetch, hStmt, boundCols, cols, numCols);
        if (rc == SQL_NO_DATA_FOUND) break;
        EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << "fetch " << rc;
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        LocalFrame rowFrame(64);
        std::vector<std::optional<std::string>> row;
        for (jint i = 0; i < numCols; ++i) {
            jobject c = e->GetObjectArrayElement(cols, i);
            row.push_back(
                readColumn(boundCols, i + 1, types[static_cast<size_t>(i)], lens[static_cast<size_t>(i)], c));
            e->DeleteLocalRef(c);
        }
        rows.push_back(std::move(row));
    }
    JC(freeStmt, hStmt, SQL_UNBIND);
    JC(freeStmt, hStmt, SQL_CLOSE);
    JC(freeBoundColBuffers, boundCols, numCols);
    return rows;
}

}  // namespace qvt

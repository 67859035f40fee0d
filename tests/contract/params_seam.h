// Shared by the parameter-binding contract tests: a statement whose
// parameter descriptions the seam answers, the records behind a token, and
// a scope that counts (or refuses) the parameter code's heap allocations.
#pragma once

#include "jcall.h"
#include "seam.h"

#include "qvjdbc/params.h"

#include <vector>

namespace qvt::params {

struct Described {
    SQLSMALLINT sqlType;
    SQLSMALLINT driverType;  // reported while option 3057 is 1
    SQLULEN size;
    SQLSMALLINT scale = 0;
};

// Answers SQLDescribeParam from a list (with the driver type codes while
// option 3057 is 1), SQLNumParams with the list's length, and
// SQLGetStmtOption 3031 with `typeFromValue`, written as a full 8-byte cell.
struct ScriptedStatement {
    static inline std::vector<Described> params;
    static inline SQLULEN driverTypes = 0;
    static inline SQLULEN typeFromValue = 0;

    static void install(seam::Scope& s, std::vector<Described> described, SQLULEN fromValue = 0) {
        params = std::move(described);
        driverTypes = 0;
        typeFromValue = fromValue;
        s.on<&qv::DriverTable::SQLSetStmtOption>([](SQLHSTMT, SQLUSMALLINT option, SQLULEN value) {
            if (option == RUVA70_STMT_DRIVER_TYPES) driverTypes = value;
            return SQLRETURN(SQL_SUCCESS);
        });
        s.on<&qv::DriverTable::SQLGetStmtOption>([](SQLHSTMT, SQLUSMALLINT option, SQLPOINTER value) {
            if (option == RUVA70_STMT_TYPE_FROM_VALUE) *static_cast<SQLULEN*>(value) = typeFromValue;
            return SQLRETURN(SQL_SUCCESS);
        });
        s.on<&qv::DriverTable::SQLNumParams>([](SQLHSTMT, SQLSMALLINT* n) {
            *n = static_cast<SQLSMALLINT>(params.size());
            return SQLRETURN(SQL_SUCCESS);
        });
        s.on<&qv::DriverTable::SQLDescribeParam>([](SQLHSTMT, SQLUSMALLINT p, SQLSMALLINT* type, SQLULEN* size,
                                                    SQLSMALLINT* scale, SQLSMALLINT* nullable) {
            if (p < 1 || p > params.size()) return SQLRETURN(SQL_ERROR);
            const Described& d = params[p - 1];
            *type = driverTypes == 1 ? d.driverType : d.sqlType;
            *size = d.size;
            *scale = d.scale;
            *nullable = SQL_NULLABLE;
            return SQLRETURN(SQL_SUCCESS);
        });
    }
};

// The Java arrays of one bindAllParams call.
struct BindArrays {
    jshortArray sqlTypes;
    jshortArray driverTypes;
    jintArray columnSizes;
    jbyteArray ec;
    explicit BindArrays(jsize n)
        : sqlTypes(newShorts(n)), driverTypes(newShorts(n)), columnSizes(newInts(n)), ec(errorCode()) {}
};

inline jint bindAll(jint hStmt, BindArrays& a, jint n) {
    return JC(bindAllParams, hStmt, a.sqlTypes, a.driverTypes, a.columnSizes, a.ec, n);
}

inline qv::BoundParam& record(jint token, int paramNumber) {
    qv::params::ParamArray* a = qv::params::find(token);
    if (!a || !a->record(paramNumber)) {
        ADD_FAILURE() << "no record " << paramNumber << " behind token " << token;
        static qv::BoundParam none{};
        return none;
    }
    return *a->record(paramNumber);
}

inline int16_t boundSqlType(jint token, int paramNumber) {
    return qv::params::find(token)->boundSqlType(paramNumber);
}

// Replaces the parameter code's heap with one that counts, and refuses the
// allocation number `failAt` (0-based) when it is set.
class CountingMemory {
public:
    CountingMemory() {
        allocations_ = 0;
        releases_ = 0;
        failAt_ = -1;
        attempts_ = 0;
        qv::params::memory = {&allocate, &release};
    }
    ~CountingMemory() { qv::params::memory = qv::params::kHeapMemory; }
    CountingMemory(const CountingMemory&) = delete;
    CountingMemory& operator=(const CountingMemory&) = delete;

    // Refuses the n-th allocation from now (0: the next one).
    void failAt(int n) { failAt_ = attempts_ + n; }
    int allocations() const { return allocations_; }
    // Non-null blocks given back.
    int releases() const { return releases_; }
    // Blocks still held.
    int live() const { return allocations_ - releases_; }

private:
    static void* allocate(std::size_t n) {
        if (failAt_ >= 0 && attempts_++ == failAt_) return nullptr;
        void* p = std::malloc(n);
        if (p) ++allocations_;
        return p;
    }
    static void release(void* p) {
        if (p) ++releases_;
        std::free(p);
    }
    static inline int allocations_ = 0;
    static inline int releases_ = 0;
    static inline int failAt_ = -1;
    static inline int attempts_ = 0;
};

// The value pointer and length pointer of the last SQLBindParameter call.
inline SQLPOINTER boundValue(const seam::Call& c) {
    return reinterpret_cast<SQLPOINTER>(c.args[7]);
}
inline SQLLEN* boundIndicator(const seam::Call& c) {
    return reinterpret_cast<SQLLEN*>(c.args[9]);
}

// A test whose statement kStmt has parameters described by the seam and
// bound with bindAllParams; the array is freed at the end. The seam's log
// starts empty after the binding.
template <jint kStmt>
class BoundStatementTest : public ::testing::Test {
protected:
    jint bind(std::vector<Described> d, SQLULEN typeFromValue = 0) {
        const jint n = static_cast<jint>(d.size());
        ScriptedStatement::install(seam_, std::move(d), typeFromValue);
        BindArrays a(n);
        token_ = bindAll(kStmt, a, n);
        EXPECT_NE(token_, 0);
        seam_.clear();
        return token_;
    }
    void TearDown() override { JC(freeBoundParams, token_, 0); }
    LocalFrame frame_;
    seam::Scope seam_;
    jint token_ = 0;
};

}  // namespace qvt::params

// The column layouts of the prepared-statement batch and the restoring of
// the single-row state, seen at the driver.
#include "params_seam.h"

#include <cstring>

namespace {

using qvt::params::BindArrays;
using qvt::params::Described;
using qvt::params::ScriptedStatement;

// What the driver could read of one batch column while SQLExecute runs.
struct SeenColumn {
    SQLSMALLINT cType = 0;
    SQLULEN columnSize = 0;
    SQLLEN width = 0;
    std::vector<SQLLEN> lengths;
    std::vector<std::string> slots;  // width bytes of each row
};

class PreparedBatchSeam : public ::testing::Test {
protected:
    void SetUp() override {
        seen_.clear();
        bound_.clear();
        rowsAtExecute_ = 0;
        seam_.on<&qv::DriverTable::SQLBindParameter>([](SQLHSTMT, SQLUSMALLINT p, SQLSMALLINT, SQLSMALLINT c,
                                                        SQLSMALLINT, SQLULEN size, SQLSMALLINT, SQLPOINTER v,
                                                        SQLLEN width, SQLLEN* ind) {
            bound_.resize(std::max<size_t>(bound_.size(), p));
            bound_[p - 1] = {c, size, width, v, ind};
            return SQLRETURN(SQL_SUCCESS);
        });
        seam_.on<&qv::DriverTable::SQLParamOptions>([](SQLHSTMT, SQLULEN rows, SQLULEN* rowNumber) {
            rowsAtExecute_ = rows;
            rowNumber_ = rowNumber;
            return SQLRETURN(SQL_SUCCESS);
        });
        seam_.on<&qv::DriverTable::SQLExecute>([](SQLHSTMT) {
            for (const Binding& b : bound_) {
                SeenColumn s{b.cType, b.columnSize, b.width, {}, {}};
                for (SQLULEN r = 0; r < rowsAtExecute_; ++r) {
                    s.lengths.push_back(b.ind[r]);
                    const char* slot = static_cast<const char*>(b.value) + r * static_cast<SQLULEN>(b.width);
                    s.slots.emplace_back(slot, static_cast<size_t>(b.width));
                }
                seen_.push_back(s);
            }
            if (rowNumber_) *rowNumber_ = rowsAtExecute_;
            return SQLRETURN(SQL_SUCCESS);
        });
    }

    jint bindStrings(const std::vector<Described>& described, SQLULEN typeFromValue) {
        ScriptedStatement::install(seam_, described, typeFromValue);
        arrays_ = std::make_unique<BindArrays>(static_cast<jsize>(described.size()));
        return qvt::params::bindAll(1, *arrays_, static_cast<jint>(described.size()));
    }

    jshort run(jint token, jint numParams, jint numRows, std::vector<jshort> cTypes, jobjectArray values,
               jobjectArray indicators) {
        jshortArray types = qvt::newShorts(numParams);
        if (numParams) qvt::env()->SetShortArrayRegion(types, 0, numParams, cTypes.data());
        seen_.clear();
        bound_.clear();
        return JC(execPreparedStatementBatch, 1, nullptr, token, arrays_ ? arrays_->sqlTypes : qvt::newShorts(0),
                  numParams, numRows, types, values, indicators, qvt::newInts(numRows));
    }

    static jobjectArray strings(const std::vector<const char16_t*>& v) {
        jobjectArray a =
            qvt::env()->NewObjectArray(static_cast<jsize>(v.size()), qvt::findClass("java/lang/String"), nullptr);
        for (size_t i = 0; i < v.size(); ++i)
            if (v[i]) qvt::env()->SetObjectArrayElement(a, static_cast<jsize>(i), qvt::jstr(v[i]));
        return a;
    }
    static jobjectArray objects(std::vector<jobject> v) {
        jobjectArray a =
            qvt::env()->NewObjectArray(static_cast<jsize>(v.size()), qvt::findClass("java/lang/Object"), nullptr);
        for (size_t i = 0; i < v.size(); ++i) qvt::env()->SetObjectArrayElement(a, static_cast<jsize>(i), v[i]);
        return a;
    }

    struct Binding {
        SQLSMALLINT cType;
        SQLULEN columnSize;
        SQLLEN width;
        SQLPOINTER value;
        SQLLEN* ind;
    };
    static inline std::vector<Binding> bound_;
    static inline std::vector<SeenColumn> seen_;
    static inline SQLULEN rowsAtExecute_ = 0;
    static inline SQLULEN* rowNumber_ = nullptr;
    qvt::LocalFrame frame_;
    qvt::seam::Scope seam_;
    std::unique_ptr<BindArrays> arrays_;
};

TEST_F(PreparedBatchSeam, CharacterColumnSlotsAndLengths) {
    jint token = bindStrings({{SQL_VARCHAR, SQL_VARCHAR, 20}}, 1);
    ASSERT_NE(token, 0);
    jobjectArray values = objects({strings({u"ab", nullptr, u"cde"})});
    EXPECT_EQ(run(token, 1, 3, {SQL_C_CHAR}, values, objects({nullptr})), 0);
    ASSERT_EQ(seen_.size(), 1u);
    const SeenColumn& c = seen_[0];
    EXPECT_EQ(c.cType, SQL_C_CHAR);
    EXPECT_EQ(c.width, 4);
    EXPECT_EQ(c.columnSize, 4u) << "type from value: the column size is the slot width";
    EXPECT_EQ(c.lengths, (std::vector<SQLLEN>{2, -1, 3}));
    EXPECT_EQ(std::string(c.slots[0].c_str()), "ab");
    EXPECT_EQ(c.slots[0][2], '\0');
    EXPECT_EQ(c.slots[2], std::string("cde\0", 4));
    // Afterwards the driver is back to one row and no row-number variable,
    // and the parameter is bound to its own record again.
    EXPECT_EQ(rowsAtExecute_, 1u);
    EXPECT_EQ(rowNumber_, nullptr);
    ASSERT_EQ(bound_.size(), 1u);
    EXPECT_EQ(bound_[0].value, qv::params::valuePointer(qvt::params::record(token, 1)));
    JC(freeBoundParams, token, 1);
}

TEST_F(PreparedBatchSeam, WideColumnCountsBytes) {
    jint token = bindStrings({{SQL_VARCHAR, SQL_VARCHAR, 20}}, 1);
    EXPECT_EQ(run(token, 1, 3, {SQL_C_WCHAR}, objects({strings({u"ab", nullptr, u"c\u20ace"})}), objects({nullptr})),
              0);
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_EQ(seen_[0].width, 6);
    EXPECT_EQ(seen_[0].columnSize, 3u) << "the width in characters";
    EXPECT_EQ(seen_[0].lengths, (std::vector<SQLLEN>{4, -1, 6}));
    EXPECT_EQ(seen_[0].slots[2], std::string("c\0\xAC\x20"
                                             "e\0",
                                             6));
    JC(freeBoundParams, token, 1);
}

TEST_F(PreparedBatchSeam, AllNullColumnHasNoWidth) {
    jint token = bindStrings({{SQL_VARCHAR, SQL_VARCHAR, 20}}, 0);
    EXPECT_EQ(run(token, 1, 2, {SQL_C_CHAR}, objects({strings({nullptr, nullptr})}), objects({nullptr})), 0);
    ASSERT_EQ(seen_.size(), 1u);
    EXPECT_EQ(seen_[0].width, 0);
    EXPECT_EQ(seen_[0].columnSize, 20u) << "the described size when the type does not follow the value";
    EXPECT_EQ(seen_[0].lengths, (std::vector<SQLLEN>{-1, -1}));
    JC(freeBoundParams, token, 1);
}

TEST_F(PreparedBatchSeam, NumericColumnsPassValuesAndWidenIndicators) {
    jint token = bindStrings({{SQL_BIGINT, SQL_BIGINT, 19}, {SQL_DOUBLE, SQL_DOUBLE, 15}}, 0);
    JNIEnv* e = qvt::env();
    jlongArray longs = e->NewLongArray(3);
    const jlong lv[3] = {INT64_MIN, 0, INT64_MAX};
    e->SetLongArrayRegion(longs, 0, 3, lv);
    jdoubleArray doubles = e->NewDoubleArray(3);
    const jdouble dv[3] = {-0.0, 1.5, 1e300};
    e->SetDoubleArrayRegion(doubles, 0, 3, dv);
    EXPECT_EQ(run(token, 2, 3, {SQL_C_SBIGINT, SQL_C_DOUBLE}, objects({longs, doubles}),
                  objects({qvt::ints({8, -1, 8}), qvt::ints({-1, 8, 8})})),
              0);
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_EQ(seen_[0].width, 0);
    EXPECT_EQ(seen_[0].lengths, (std::vector<SQLLEN>{8, -1, 8})) << "int[] indicators widened to SQLLEN";
    EXPECT_EQ(seen_[1].lengths, (std::vector<SQLLEN>{-1, 8, 8}));
    JC(freeBoundParams, token, 2);
}

TEST_F(PreparedBatchSeam, WithoutParametersOnlyTheRowCountChanges) {
    EXPECT_EQ(run(0, 0, 4, {}, nullptr, nullptr), 0);
    EXPECT_EQ(seam_.count("SQLBindParameter"), 0u);
    const auto options = seam_.callsTo("SQLParamOptions");
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].args[1], 4u);
    EXPECT_NE(options[0].args[2], 0u);
    EXPECT_EQ(options[1].args[1], 1u);
    EXPECT_EQ(options[1].args[2], 0u);
    seam_.clear();
    EXPECT_EQ(JC(rebindAllParams, 1, 0, nullptr, 0), 0);
    EXPECT_EQ(seam_.count("SQLParamOptions"), 1u) << "rebindAllParams resets to one row even without parameters";
}

TEST_F(PreparedBatchSeam, ABuilderFailureRestoresTheEarlierParameters) {
    jint token = bindStrings({{SQL_VARCHAR, SQL_VARCHAR, 20}, {SQL_VARCHAR, SQL_VARCHAR, 20}}, 0);
    jshort rc = run(token, 2, 2, {SQL_C_CHAR, SQL_C_CHAR},
                    objects({strings({u"ok", u"ok"}), strings({u"ok", u"\u20ac"})}), objects({nullptr, nullptr}));
    EXPECT_EQ(static_cast<uint16_t>(rc), 0x9E00);
    EXPECT_EQ(seam_.count("SQLExecute"), 0u);
    ASSERT_GE(bound_.size(), 1u);
    EXPECT_EQ(bound_[0].value, qv::params::valuePointer(qvt::params::record(token, 1)))
        << "the first parameter is bound to its record again, not to the released column";
    JC(freeBoundParams, token, 2);
}

TEST_F(PreparedBatchSeam, DataAtExecutionIndicatorsAreRefusedBeforeAnythingIsBound) {
    jint token = bindStrings({{SQL_BIGINT, SQL_BIGINT, 19}}, 0);
    JNIEnv* e = qvt::env();
    for (jint indicator : {-2, -100, -108, -3, INT32_MIN}) {
        seam_.clear();
        jlongArray longs = e->NewLongArray(2);
        const jshort rc = run(token, 1, 2, {SQL_C_SBIGINT}, objects({longs}), objects({qvt::ints({8, indicator})}));
        EXPECT_EQ(static_cast<uint16_t>(rc), 0x9F00) << indicator;
        EXPECT_EQ(seam_.count("SQLBindParameter") + seam_.count("SQLExecute"), 0u) << indicator;
    }
    JC(freeBoundParams, token, 1);
}

TEST_F(PreparedBatchSeam, AnExecutionAwaitingDataIsCancelledBeforeTheRestore) {
    jint token = bindStrings({{SQL_BIGINT, SQL_BIGINT, 19}}, 0);
    seam_.on<&qv::DriverTable::SQLExecute>([](SQLHSTMT) { return SQLRETURN(SQL_NEED_DATA); });
    seam_.clear();
    const jshort rc =
        run(token, 1, 2, {SQL_C_SBIGINT}, objects({qvt::env()->NewLongArray(2)}), objects({qvt::ints({8, 8})}));
    EXPECT_EQ(rc & 0xFF, 0xFF) << "reported as a failed execution";
    std::vector<std::string> order;
    for (const auto& c : seam_.calls())
        if (c.name == "SQLCancel" || c.name == "SQLParamOptions") order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"SQLParamOptions", "SQLCancel", "SQLParamOptions"}));
    JC(freeBoundParams, token, 1);
}

TEST_F(PreparedBatchSeam, ARefusedRestoreResetsTheParametersAndMarksThemUnbound) {
    jint token = bindStrings({{SQL_BIGINT, SQL_BIGINT, 19}}, 0);
    // The driver takes the batch column but refuses the single-row binding.
    seam_.on<&qv::DriverTable::SQLBindParameter>(
        [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT, SQLPOINTER,
           SQLLEN width, SQLLEN*) { return SQLRETURN(width == 0 ? SQL_SUCCESS : SQL_ERROR); });
    seam_.on<&qv::DriverTable::SQLExecute>([](SQLHSTMT) { return SQLRETURN(SQL_SUCCESS); });
    seam_.clear();
    run(token, 1, 2, {SQL_C_SBIGINT}, objects({qvt::env()->NewLongArray(2)}), objects({qvt::ints({8, 8})}));
    const auto frees = seam_.callsTo("SQLFreeStmt");
    ASSERT_EQ(frees.size(), 1u);
    EXPECT_EQ(frees[0].args[1], static_cast<uint64_t>(SQL_RESET_PARAMS));
    EXPECT_EQ(qvt::params::record(token, 1).cType, 0) << "the next setter binds the parameter afresh";
    JC(freeBoundParams, token, 1);
}

TEST_F(PreparedBatchSeam, TheCountMustBeTheArraysAndTheStatements) {
    jint token = bindStrings({{SQL_BIGINT, SQL_BIGINT, 19}, {SQL_BIGINT, SQL_BIGINT, 19}}, 0);
    seam_.clear();
    // No parameters named, a live array of two: the driver would read the
    // single-row records as arrays.
    EXPECT_EQ(static_cast<uint16_t>(run(token, 0, 50, {}, nullptr, nullptr)), 0x9F00);
    // No array, but the statement has two parameters.
    EXPECT_EQ(static_cast<uint16_t>(run(0, 0, 50, {}, nullptr, nullptr)), 0x9F00);
    EXPECT_EQ(seam_.count("SQLExecute"), 0u);
    JC(freeBoundParams, token, 2);
}

TEST_F(PreparedBatchSeam, AnArrayBoundOnAnotherStatementIsRefused) {
    jint token = bindStrings({{SQL_BIGINT, SQL_BIGINT, 19}}, 0);
    seam_.clear();
    jshortArray types = qvt::newShorts(1, SQL_C_SBIGINT);
    const jshort rc = JC(execPreparedStatementBatch, 2, nullptr, token, arrays_->sqlTypes, 1, 2, types,
                         objects({qvt::env()->NewLongArray(2)}), objects({qvt::ints({8, 8})}), qvt::newInts(2));
    EXPECT_EQ(static_cast<uint16_t>(rc), 0x9F00);
    EXPECT_EQ(static_cast<uint16_t>(JC(rebindAllParams, 2, token, arrays_->sqlTypes, 1)), 0x9F00);
    EXPECT_EQ(seam_.count("SQLBindParameter") + seam_.count("SQLExecute"), 0u);
    JC(freeBoundParams, token, 1);
}

// A value array that changes under the call: the second fetch of each
// element (the copy pass) hands out the replacement instead.
struct ChangingElements {
    static inline JNINativeInterface_ table;
    static inline const JNINativeInterface_* real = nullptr;
    static inline int calls = 0;
    static inline jobject replacement = nullptr;
    ChangingElements(jobject r) {
        real = qvt::env()->functions;
        table = *real;
        calls = 0;
        replacement = r;
        table.GetObjectArrayElement = [](JNIEnv* e, jobjectArray a, jsize i) -> jobject {
            jobject v = real->GetObjectArrayElement(e, a, i);
            // The column is fetched to check it and to build it, the row to
            // measure it and, fourth, to copy it.
            return ++calls == 4 ? real->NewLocalRef(e, replacement) : v;
        };
        qvt::env()->functions = &table;
    }
    ~ChangingElements() { qvt::env()->functions = real; }
};

TEST_F(PreparedBatchSeam, ATextThatBecameShorterBetweenThePassesIsRefused) {
    jint token = bindStrings({{SQL_VARCHAR, SQL_VARCHAR, 20}}, 0);
    jobjectArray values = objects({strings({u"abcdef"})});
    jstring shorter = qvt::jstr(u"ab");
    jshortArray types = qvt::newShorts(1, SQL_C_CHAR);
    jintArray counts = qvt::newInts(1);
    seam_.clear();
    jshort rc;
    {
        ChangingElements change(shorter);
        rc = JC(execPreparedStatementBatch, 1, nullptr, token, arrays_->sqlTypes, 1, 1, types, values,
                objects({nullptr}), counts);
    }
    EXPECT_EQ(static_cast<uint16_t>(rc), 0x9F00) << "stale bytes behind the shorter text would be sent";
    EXPECT_EQ(seam_.count("SQLExecute"), 0u);
    JC(freeBoundParams, token, 1);
}

}  // namespace

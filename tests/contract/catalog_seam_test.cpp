// The catalog functions' argument translations, seen at the driver.
#include "jcall.h"
#include "seam.h"

namespace {

using qvt::at;
using qvt::errorCode;
using qvt::zstr;

class CatalogSeam : public ::testing::Test {
protected:
    qvt::LocalFrame frame_;
    qvt::seam::Scope seam_;
};

TEST_F(CatalogSeam, AllNullFlagsPassFourNullPointersWithNts) {
    jbyteArray ec = errorCode();
    JC(tables, 3, nullptr, JNI_TRUE, nullptr, JNI_TRUE, nullptr, JNI_TRUE, nullptr, JNI_TRUE, ec);
    const auto& call = seam_.last("SQLTables");
    for (int i : {1, 3, 5, 7}) EXPECT_EQ(call.args[i], 0u) << "string " << i;
    for (int i : {2, 4, 6, 8}) EXPECT_EQ(static_cast<int64_t>(call.args[i]), SQL_NTS) << "length " << i;
    EXPECT_EQ(at(ec, 0), 0);
}

TEST_F(CatalogSeam, EmptyStringIsNotNull) {
    jbyteArray ec = errorCode();
    seam_.on<&qv::DriverTable::SQLTables>([](SQLHSTMT, SQLCHAR* c, SQLSMALLINT, SQLCHAR* s, SQLSMALLINT, SQLCHAR* t,
                                             SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
        EXPECT_EQ(c, nullptr);
        EXPECT_NE(s, nullptr);
        EXPECT_EQ(s[0], 0);
        EXPECT_STREQ(reinterpret_cast<char*>(t), "orders");
        return SQLRETURN(SQL_SUCCESS_WITH_INFO);
    });
    JC(tables, 3, nullptr, JNI_TRUE, zstr(""), JNI_FALSE, zstr("orders"), JNI_FALSE, nullptr, JNI_TRUE, ec);
    EXPECT_EQ(seam_.count("SQLTables"), 1u);
    EXPECT_EQ(at(ec, 0), 1);
}

TEST_F(CatalogSeam, FlagIsReadAsAnyNonZeroByte) {
    jbyteArray ec = errorCode();
    JC(primaryKeys, 3, qvt::newBytes(0), static_cast<jboolean>(2), nullptr, JNI_TRUE, zstr("t"), JNI_FALSE, ec);
    EXPECT_EQ(seam_.last("SQLPrimaryKeys").args[1], 0u);
}

TEST_F(CatalogSeam, UnusableStringsAreRefusedWithoutACall) {
    jbyteArray ec = errorCode(0, 0);
    JC(columns, 3, nullptr, JNI_FALSE, nullptr, JNI_TRUE, nullptr, JNI_TRUE, nullptr, JNI_TRUE, ec);
    EXPECT_EQ(at(ec, 0), -1) << "a null array whose flag says it is not null";
    EXPECT_EQ(at(ec, 1), -97);
    jbyteArray ec2 = errorCode(0, 0);
    JC(columns, 3, qvt::bytes("abc"), JNI_FALSE, nullptr, JNI_TRUE, nullptr, JNI_TRUE, nullptr, JNI_TRUE, ec2);
    EXPECT_EQ(at(ec2, 1), -97) << "text without its terminator";
    EXPECT_EQ(seam_.count("SQLColumns"), 0u);
}

TEST_F(CatalogSeam, NumericArgumentsAreTranslated) {
    jbyteArray ec = errorCode();
    JC(statistics, 3, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr("t"), JNI_FALSE, 1, 0, ec);
    EXPECT_EQ(seam_.last("SQLStatistics").args[7], static_cast<uint64_t>(SQL_INDEX_UNIQUE));
    EXPECT_EQ(seam_.last("SQLStatistics").args[8], static_cast<uint64_t>(SQL_ENSURE));
    JC(statistics, 3, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr("t"), JNI_FALSE, 0, 5, ec);
    EXPECT_EQ(seam_.last("SQLStatistics").args[7], static_cast<uint64_t>(SQL_INDEX_ALL));
    EXPECT_EQ(seam_.last("SQLStatistics").args[8], static_cast<uint64_t>(SQL_QUICK));
    JC(specialColumns, 3, 65537, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr("t"), JNI_FALSE, 65538, 2, ec);
    EXPECT_EQ(seam_.last("SQLSpecialColumns").args[1], 1u);
    EXPECT_EQ(seam_.last("SQLSpecialColumns").args[8], 2u);
    EXPECT_EQ(seam_.last("SQLSpecialColumns").args[9], static_cast<uint64_t>(SQL_NULLABLE));
    JC(specialColumns, 3, 2, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr("t"), JNI_FALSE, 0, 0, ec);
    EXPECT_EQ(seam_.last("SQLSpecialColumns").args[9], static_cast<uint64_t>(SQL_NO_NULLS));
    JC(getTypeInfo, 3, 65535, ec);
    EXPECT_EQ(static_cast<int64_t>(seam_.last("SQLGetTypeInfo").args[1]), -1);
    JC(getTypeInfo, 3, -5, ec);
    EXPECT_EQ(static_cast<int64_t>(seam_.last("SQLGetTypeInfo").args[1]), -5);
}

TEST_F(CatalogSeam, ForeignKeysWithOnlyThePrimaryKeyTable) {
    jbyteArray ec = errorCode();
    JC(foreignKeys, 3, nullptr, JNI_TRUE, nullptr, JNI_TRUE, zstr("parent"), JNI_FALSE, nullptr, JNI_TRUE, nullptr,
       JNI_TRUE, nullptr, JNI_TRUE, ec);
    const auto& call = seam_.last("SQLForeignKeys");
    for (int i : {1, 3, 7, 9, 11}) EXPECT_EQ(call.args[i], 0u) << "argument " << i;
    EXPECT_NE(call.args[5], 0u);
}

}  // namespace

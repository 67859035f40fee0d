// The statement batch on SQLite and PostgreSQL.
#include "dsconn.h"
#include "jcall.h"

namespace {

using qvt::Connection;
using qvt::Source;

class StatementBatch : public ::testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        c_.open(GetParam());
        table_ = qvt::uniqueName("sb");
        c_.exec("CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, grp INTEGER)");
        c_.exec("INSERT INTO " + table_ + " VALUES (1, 1), (2, 1), (3, 2), (4, 2), (5, 2), (6, 2), (7, 2)");
        stmt_ = c_.newStatement();
    }
    void TearDown() override {
        JC(freeStmt, stmt_, SQL_DROP);
        c_.exec("DROP TABLE " + table_);
    }
    jobjectArray texts(const std::vector<std::string>& sql) {
        jobjectArray a =
            qvt::env()->NewObjectArray(static_cast<jsize>(sql.size()), qvt::findClass("java/lang/String"), nullptr);
        for (size_t i = 0; i < sql.size(); ++i)
            qvt::env()->SetObjectArrayElement(a, static_cast<jsize>(i), qvt::jstrUtf8(sql[i].c_str()));
        return a;
    }
    qvt::LocalFrame frame_;
    Connection c_;
    std::string table_;
    jint stmt_ = 0;
};

TEST_P(StatementBatch, UpdateCountsOfEachCommand) {
    jintArray counts = qvt::newInts(3, 99);
    jobject st = qvt::allocObject("com/quorvane/jdbc/JdbcOdbcStatement");
    jshort rc = JC(
        execStatementBatch, stmt_, st,
        texts({"UPDATE " + table_ + " SET grp = 3 WHERE grp = 1", "UPDATE " + table_ + " SET grp = 4 WHERE grp = 9",
               "UPDATE " + table_ + " SET grp = 5 WHERE grp = 2"}),
        counts);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(qvt::read(counts), (std::vector<int32_t>{2, 0, 5}));
    EXPECT_EQ(c_.scalar("SELECT COUNT(*) FROM " + table_ + " WHERE grp = 5"), "5");
}

TEST_P(StatementBatch, AQueryStopsTheBatchAndClosesItsCursor) {
    jintArray counts = qvt::newInts(3, 99);
    jshort rc = JC(execStatementBatch, stmt_, nullptr,
                   texts({"UPDATE " + table_ + " SET grp = 3 WHERE grp = 1", "SELECT id FROM " + table_,
                          "DELETE FROM " + table_}),
                   counts);
    EXPECT_EQ(static_cast<uint16_t>(rc), 0xA300);
    EXPECT_EQ(qvt::read(counts), (std::vector<int32_t>{2, -3, 99}));
    EXPECT_EQ(c_.scalar("SELECT COUNT(*) FROM " + table_), "7") << "the third command did not run";
    // The cursor is closed: the statement runs again at once.
    EXPECT_EQ(JC(execDirect, stmt_, qvt::jstrUtf8(("SELECT id FROM " + table_).c_str())), 0);
}

TEST_P(StatementBatch, AFailingCommandStopsWith255) {
    jintArray counts = qvt::newInts(3, 99);
    jshort rc = JC(execStatementBatch, stmt_, nullptr,
                   texts({"UPDATE " + table_ + " SET grp = 3 WHERE grp = 1",
                          "INSERT INTO " + table_ + " VALUES (1, 1)", "DELETE FROM " + table_}),
                   counts);
    EXPECT_EQ(rc, 255);
    EXPECT_EQ(qvt::read(counts), (std::vector<int32_t>{2, -3, 99}));
    EXPECT_FALSE(qvt::diagnostics(0, 0, stmt_).empty()) << "the failure's diagnostics stay with the statement";
}

TEST_P(StatementBatch, EmptyAndUnusableBatches) {
    EXPECT_EQ(JC(execStatementBatch, stmt_, nullptr, nullptr, qvt::newInts(0)), 0) << "an empty batch runs nothing";
    jintArray counts = qvt::newInts(2, 99);
    jobjectArray holey = texts({"DELETE FROM " + table_, "x"});
    qvt::env()->SetObjectArrayElement(holey, 1, nullptr);
    EXPECT_EQ(static_cast<uint16_t>(JC(execStatementBatch, stmt_, nullptr, holey, counts)), 0x9F00);
    EXPECT_EQ(static_cast<uint16_t>(JC(execStatementBatch, stmt_, nullptr, texts({"DELETE FROM " + table_}), counts)),
              0x9F00)
        << "fewer texts than counts";
    EXPECT_EQ(qvt::read(counts), (std::vector<int32_t>{99, 99}));
    EXPECT_EQ(c_.scalar("SELECT COUNT(*) FROM " + table_), "7") << "nothing ran";
}

INSTANTIATE_TEST_SUITE_P(DataSources, StatementBatch, qvt::AllSources, qvt::sourceName);

}  // namespace

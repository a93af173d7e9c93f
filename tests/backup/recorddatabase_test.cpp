#include "tests/support/qtprinters.h"
#include "tests/support/queryclock.h"

#include "backup/recorddatabase.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <atomic>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Writes a database whose last rows live only in its write-ahead log, the
// way a device can leave it: the pair is copied while the writer still has
// the log open.
void makeDatabaseWithLog(const QString &target)
{
    QTemporaryDir work;
    const QString path = work.filePath(QStringLiteral("w.db"));
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                 "CREATE TABLE t(x TEXT); INSERT INTO t VALUES('in main');",
                 nullptr, nullptr, nullptr);
    sqlite3_wal_checkpoint(db, nullptr);
    sqlite3_exec(db, "INSERT INTO t VALUES('only in log');", nullptr, nullptr, nullptr);
    QFile::copy(path, target);
    QFile::copy(path + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
    sqlite3_close(db);
}

QStringList values(const RecordDatabase &db)
{
    QStringList out;
    Statement s(db, "select x from t order by rowid");
    while (s.step())
        out << s.text(0);
    return out;
}

// A database with three rows and a view that counts for ever without handing
// out a row; each count calls counted(), which sets the flag it is given.
std::unique_ptr<RecordDatabase> openEndless(const QTemporaryDir &dir, std::atomic<bool> *counting)
{
    const QString path = dir.filePath(QStringLiteral("endless.db"));
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE t(x TEXT); INSERT INTO t VALUES('a'),('b'),('c');"
                 "CREATE VIEW endless AS WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM c) "
                 "SELECT n FROM c WHERE counted(n);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    auto opened = RecordDatabase::open(path);
    const auto counted = [](sqlite3_context *context, int, sqlite3_value **) {
        static_cast<std::atomic<bool> *>(sqlite3_user_data(context))->store(true);
        sqlite3_result_int(context, 0);
    };
    if (opened)
        sqlite3_create_function(opened->handle(), "counted", 1, SQLITE_UTF8, counting, counted, nullptr, nullptr);
    return opened;
}

} // namespace

TEST(RecordDatabase, AQueryThatNeverEndsStopsOnTheScansCancelOrAtTheStallLimit)
{
    QTemporaryDir dir;
    std::atomic<bool> cancel{false};
    {
        // Opened as a scan's step opens it; the cancel comes while the view counts.
        const QueryInterrupt::CancelScope scope(cancel);
        const auto db = openEndless(dir, &cancel);
        ASSERT_TRUE(db);
        EXPECT_FALSE(Statement(*db, "select n from endless").step());
        EXPECT_EQ(db->interrupt()->reason(), QueryInterrupt::Reason::Cancelled);
    }

    // Time comes from a clock the test drives: each look at it costs a
    // second, and the reader's pauses between rows are jumps of ten minutes.
    // What counts as stalled is then the same on any machine.
    const testsupport::QueryClock clock;
    const auto limit = QueryInterrupt::stallLimit();
    QueryInterrupt::setStallLimit(std::chrono::seconds(30));
    std::atomic<bool> counting{false};
    QTemporaryDir other;
    const auto db = openEndless(other, &counting);
    QueryInterrupt::setStallLimit(limit);
    ASSERT_TRUE(db);
    // Each row takes some work and the reader waits far longer than the
    // limit between rows: only time without progress counts.
    Statement slow(*db, "select x, (WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM c "
                        "WHERE n < 2000 + length(x)) SELECT count(*) FROM c) from t");
    QStringList rows;
    const std::int64_t before = testsupport::QueryClock::s_reads;
    while (slow.step()) {
        rows << slow.text(0);
        testsupport::QueryClock::s_nowMs += 10 * 60 * 1000;
    }
    EXPECT_GT(testsupport::QueryClock::s_reads - before, 3) << "the rows' work looked at the clock";
    EXPECT_EQ(rows, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_FALSE(Statement(*db, "select n from endless").step());
    EXPECT_TRUE(counting);
    EXPECT_EQ(db->interrupt()->reason(), QueryInterrupt::Reason::Stalled);
    // Given up: whatever it is asked next could stall the same way.
    EXPECT_FALSE(Statement(*db, "select x from t").step());
}

TEST(RecordDatabase, ReadsTheLogWithoutWritingTheBackup)
{
    QTemporaryDir backup;
    const QString path = backup.filePath(QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
    makeDatabaseWithLog(path);
    const QByteArray mainBefore = readAll(path);
    const QByteArray logBefore = readAll(path + QStringLiteral("-wal"));
    ASSERT_FALSE(logBefore.isEmpty());

    for (auto commit : {RecordDatabase::Commit::Run, RecordDatabase::Commit::Skip}) {
        auto db = RecordDatabase::open(path, commit);
        ASSERT_TRUE(db);
        EXPECT_EQ(values(*db), (QStringList{QStringLiteral("in main"), QStringLiteral("only in log")}));
    }
    EXPECT_EQ(readAll(path), mainBefore);
    EXPECT_EQ(readAll(path + QStringLiteral("-wal")), logBefore);
    EXPECT_EQ(QDir(backup.path()).entryList(QDir::Files).size(), 2) << "no -shm or copy left beside it";
}

TEST(RecordDatabase, PlainFileIsReadInPlaceAndBadFilesAreRefused)
{
    QTemporaryDir backup;
    const QString path = backup.filePath(QStringLiteral("db"));
    {
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db, "CREATE TABLE t(x TEXT); INSERT INTO t VALUES('a');", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const QByteArray before = readAll(path);
    auto db = RecordDatabase::open(path);
    ASSERT_TRUE(db);
    EXPECT_EQ(values(*db), QStringList{QStringLiteral("a")});
    EXPECT_FALSE(Statement(*db, "select nothing from missing").isValid());
    db.reset();
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(backup.path()).entryList(QDir::Files), QStringList{QStringLiteral("db")});

    EXPECT_FALSE(RecordDatabase::open(backup.filePath(QStringLiteral("missing"))));
    QFile junk(backup.filePath(QStringLiteral("junk")));
    junk.open(QIODevice::WriteOnly);
    junk.write(QByteArray(8192, 'j'));
    junk.close();
    // SQLite opens lazily: a file that is not a database opens but no
    // statement prepares on it.
    if (auto bad = RecordDatabase::open(junk.fileName())) {
        EXPECT_FALSE(Statement(*bad, "select * from sqlite_master").isValid());
    }
}

#include "tests/support/qtprinters.h"

#include "backup/recorddatabase.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

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

} // namespace

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
